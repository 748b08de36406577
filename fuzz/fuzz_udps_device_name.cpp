// Fuzz target for the DeviceName scan of a name page. The input is the received reply, in an
// exactly sized buffer without a terminator (so a read past it trips the address sanitizer).
// Checked against a plain reference: the text between the first opening tag and the first
// closing tag after it, cut to 99 characters; a failed scan leaves the name untouched. The
// input's start is also written as a name, whose request must announce its body's length.
#include "kvudps_internal.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::unique_ptr<char[]> reply(new char[size == 0 ? 1 : size]);
    std::memcpy(reply.get(), data, size);

    char name[KVUDPS_NAME_SIZE];
    std::memset(name, 'u', sizeof name);
    const int rc = udps::scan_device_name(reply.get(), size, name);

    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const size_t open = text.find("<DeviceName>");
    const size_t close =
        open == std::string_view::npos ? open : text.find("</DeviceName>", open + 12);
    if (close == std::string_view::npos) {
        check(rc == -1);
        for (char c : name)
            check(c == 'u');
    } else {
        check(rc == 0);
        const size_t n = std::min<size_t>(close - open - 12, 99);
        check(name[n] == '\0');
        check(std::memcmp(name, data + open + 12, n) == 0);
    }

    char written[KVUDPS_NAME_SIZE] = {};
    std::memcpy(written, data, std::min<size_t>(size, 99));
    const std::string request = udps::build_name_request(written);
    const size_t body = request.find("\r\n\r\n");
    check(body != std::string::npos);
    const size_t length =
        std::strtoul(request.c_str() + request.find("Content-Length: ") + 16, nullptr, 10);
    check(length == request.size() - body - 4);
    return 0;
}
