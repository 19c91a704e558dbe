#include "tools/routersim/Tr064.h"

#include <gtest/gtest.h>

namespace {

using namespace routersim::tr064;

// The worked example of RFC 2617 section 3.5: the simulator must refuse what a real router
// refuses and accept what it accepts, or the client's login is never tested.
TEST(RoutersimTr064, DigestAsRfc2617)
{
    EXPECT_EQ(digestResponse("Mufasa", "testrealm@host.com", "Circle Of Life", "GET",
                             "/dir/index.html", "dcd98b7102dd2f0e8b11d0f600bfb0c093", "00000001",
                             "0a4f113b"),
              "6629fae49393a05397450978507c4ef1");
    const auto f =
        digestFields("Digest username=\"Mufasa\", realm=\"testrealm@host.com\", nonce=\"abc\", "
                     "uri=\"/dir/index.html?a=1,b\", qop=auth, nc=00000001, cnonce=\"0a4f113b\", "
                     "response=\"6629\"");
    EXPECT_EQ(f.at("username"), "Mufasa");
    EXPECT_EQ(f.at("uri"), "/dir/index.html?a=1,b");
    EXPECT_EQ(f.at("qop"), "auth");
    EXPECT_EQ(f.at("nc"), "00000001");
    EXPECT_EQ(f.at("response"), "6629");
    EXPECT_TRUE(digestFields("Basic dTpw").empty());
}

// Requests arrive in pieces and several on one kept-alive connection.
TEST(RoutersimTr064, RequestsAreTakenWhole)
{
    std::string buffer = "POST /upnp/control/x_contact HTTP/1.1\r\nSOAPACTION: \"urn:x#GetPho";
    EXPECT_FALSE(takeRequest(buffer));
    buffer += "nebook\"\r\nContent-Length: 4\r\n\r\nab";
    EXPECT_FALSE(takeRequest(buffer));
    buffer += "cdGET /phonebook.lua?sid=1&pbid=0 HTTP/1.1\r\n\r\n";
    const auto post = takeRequest(buffer);
    ASSERT_TRUE(post);
    EXPECT_EQ(post->body, "abcd");
    EXPECT_EQ(soapAction(post->headers.at("soapaction")), "GetPhonebook");
    const auto get = takeRequest(buffer);
    ASSERT_TRUE(get);
    EXPECT_EQ(get->target, "/phonebook.lua?sid=1&pbid=0");
    EXPECT_TRUE(buffer.empty());
    std::string garbage = "\x16\x03\x01 nonsense\r\n\r\n";
    EXPECT_THROW(takeRequest(garbage), std::runtime_error);
}

} // namespace
