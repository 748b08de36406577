// The DeviceName scan of a name page and the request that writes a name.
#include "kvudps_internal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

struct ScanCase {
    const char *what;
    std::string reply;
    int result;
    std::string name; // "before" when the name must stay unchanged
};

// Scans an exactly sized copy without a terminator, so a read past the reply is caught.
int scan(const std::string &reply, char name[KVUDPS_NAME_SIZE]) {
    std::unique_ptr<char[]> exact(new char[reply.size() + 1]);
    std::memcpy(exact.get(), reply.data(), reply.size());
    return udps::scan_device_name(exact.get(), reply.size(), name);
}

} // namespace

TEST(udps_device_name_scan, cases) {
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n<Values>";
    const ScanCase cases[] = {
        {"found", head + "<DeviceName>Boiler room</DeviceName></Values>", 0, "Boiler room"},
        {"empty", head + "<DeviceName></DeviceName>", 0, ""},
        {"no closing tag", head + "<DeviceName>Boiler room", -1, "before"},
        {"no opening tag", head + "Boiler room</DeviceName>", -1, "before"},
        {"nothing", "", -1, "before"},
        {"kept as sent", "<DeviceName> A&amp;B <x/></DeviceName>", 0, " A&amp;B <x/>"},
        {"cut to 99", "<DeviceName>" + std::string(150, 'k') + "</DeviceName>", 0,
         std::string(99, 'k')},
        {"first element wins", "<DeviceName>one</DeviceName><DeviceName>two</DeviceName>", 0,
         "one"},
        {"stray closing tag first", "</DeviceName><DeviceName>late</DeviceName>", 0, "late"},
        {"closing tag only before", "</DeviceName>x<DeviceName>y", -1, "before"},
        {"zero bytes before the element", std::string("\0\0<DeviceName>z</DeviceName>", 28), 0,
         "z"},
        {"tag cut at the end", "<DeviceName>abc</DeviceNa", -1, "before"},
    };
    for (const ScanCase &c : cases) {
        char name[KVUDPS_NAME_SIZE] = "before";
        EXPECT_EQ(scan(c.reply, name), c.result) << c.what;
        EXPECT_EQ(std::string(name), c.name) << c.what;
    }
}

TEST(udps_device_name_scan, looks_only_at_the_received_length) {
    // A buffer that holds a whole element, of which only the part before the closing tag
    // arrived: the rest must not be looked at.
    const std::string buffer = "<DeviceName>abc</DeviceName>";
    char name[KVUDPS_NAME_SIZE] = "before";
    EXPECT_EQ(udps::scan_device_name(buffer.data(), 16, name), -1);
    EXPECT_STREQ(name, "before");
    EXPECT_EQ(udps::scan_device_name(buffer.data(), buffer.size(), name), 0);
    EXPECT_STREQ(name, "abc");
}

TEST(udps_name_request, exact_bytes_and_length_without_escaping) {
    const std::string body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Root>\n<Network>\n"
                             "<Name>A&B</Name>\n</Network>\n</Root>";
    EXPECT_EQ(udps::build_name_request("A&B"),
              "POST /setup.xml HTTP/1.0\r\nContent-Type: text/xml\r\nContent-Length: " +
                  std::to_string(body.size()) + "\r\n\r\n" + body);
    EXPECT_EQ(body.size(), 91u);
    // A name field without its terminator gives at most 99 characters.
    char unterminated[KVUDPS_NAME_SIZE];
    std::memset(unterminated, 'u', sizeof unterminated);
    const std::string request = udps::build_name_request(unterminated);
    EXPECT_NE(request.find("<Name>" + std::string(99, 'u') + "</Name>"), std::string::npos);
    EXPECT_EQ(request.find(std::string(100, 'u')), std::string::npos);
}
