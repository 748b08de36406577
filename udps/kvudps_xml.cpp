// The XML texts of the name exchanges: the DeviceName scan of a "/values.xml" reply and the
// request that writes a name to "/setup.xml". Both treat the XML as plain text: no entity is
// decoded or escaped and no white space is trimmed, as the devices expect.
#include "kvudps_internal.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace udps {

namespace {

constexpr std::string_view kOpenTag = "<DeviceName>";
constexpr std::string_view kCloseTag = "</DeviceName>";

} // namespace

int scan_device_name(const char *reply, size_t length, char name[KVUDPS_NAME_SIZE]) {
    if (reply == nullptr)
        return -1;
    // A view of exactly the received bytes: the search can neither stop early at a zero byte
    // nor run past the end of what arrived.
    const std::string_view text(reply, length);
    const size_t open = text.find(kOpenTag);
    if (open == std::string_view::npos)
        return -1;
    const size_t start = open + kOpenTag.size();
    // The closing tag is looked for after the opening one, so a stray closing tag ahead of it
    // does not hide a well-formed element behind it.
    const size_t close = text.find(kCloseTag, start);
    if (close == std::string_view::npos)
        return -1;
    const size_t n = std::min(close - start, size_t{KVUDPS_NAME_SIZE - 1});
    std::memcpy(name, reply + start, n);
    name[n] = '\0';
    return 0;
}

std::string build_name_request(const char *name) {
    const size_t n = name == nullptr ? 0 : strnlen(name, KVUDPS_NAME_SIZE - 1);
    std::string body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Root>\n<Network>\n<Name>";
    body.append(name == nullptr ? "" : name, n);
    body += "</Name>\n</Network>\n</Root>";
    std::string request = "POST /setup.xml HTTP/1.0\r\nContent-Type: text/xml\r\nContent-Length: ";
    request += std::to_string(body.size());
    request += "\r\n\r\n";
    request += body;
    return request;
}

} // namespace udps
