// The hardened GET against a real HTTPS server on the loopback interface: status handling, the size
// bound, decompression, the body deadline, certificate checks and what the request carries.
#include "network_support.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

class FetchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const LoopbackServer& server = loopbackServer();
        ASSERT_TRUE(server.ready) << std::string(server.problem.begin(), server.problem.end());
    }

    static FetchOptions trusted(std::uint64_t deadlineMs = 45000)
    {
        return FetchOptions{.port = loopbackServer().trustedPort, .bodyDeadlineMs = deadlineMs};
    }

    static std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }
};

// The reason of the Failure a fetch raises, or "returned N bytes" when it did not fail.
std::string fetchFailure(const std::wstring& path, const FetchOptions& options)
{
    try {
        const std::string body = fetchFeedWith(LOOPBACK_HOST, path, options);
        return "returned " + std::to_string(body.size()) + " bytes";
    } catch (const Failure& failure) {
        return failure.reason();
    }
}

TEST_F(FetchTest, ReturnsWholeBodyAcrossManyReads)
{
    // 100,000 bytes of i % 251: at least four reads, NUL bytes included.
    const std::string body = fetchFeedWith(LOOPBACK_HOST, L"/pattern/100000", trusted());
    ASSERT_EQ(body.size(), 100000u);
    EXPECT_EQ(static_cast<unsigned char>(body[0]), 0);
    EXPECT_EQ(static_cast<unsigned char>(body[250]), 250);
    EXPECT_EQ(static_cast<unsigned char>(body[251]), 0);
    EXPECT_EQ(static_cast<unsigned char>(body[32767]), 137);
    EXPECT_EQ(static_cast<unsigned char>(body[32768]), 138);
    EXPECT_EQ(static_cast<unsigned char>(body[99999]), 101);
}

TEST_F(FetchTest, AnyStatusButOkIsSourceUnavailable)
{
    // 301 points at a path that would answer 200: following it would return a body.
    for (const wchar_t* path : {L"/status/304", L"/status/404", L"/status/500", L"/redirect"}) {
        SCOPED_TRACE(std::string(path, path + wcslen(path)));
        EXPECT_EQ(fetchFailure(path, trusted()), "Source unavailable");
    }
}

TEST_F(FetchTest, AcceptsBodyOfExactlyFourMebibytes)
{
    const std::string body = fetchFeedWith(LOOPBACK_HOST, L"/pattern/4194304", trusted());
    ASSERT_EQ(body.size(), 4194304u);
    EXPECT_EQ(static_cast<unsigned char>(body[4194303]), 93);  // 4194303 % 251
}

TEST_F(FetchTest, RefusesBodyOneByteOverFourMebibytes)
{
    EXPECT_EQ(fetchFailure(L"/pattern/4194305", trusted()), "Response too large");
}

TEST_F(FetchTest, DecodesGzipBody)
{
    if (runningUnderWine())
        GTEST_SKIP() << "Wine's WinHTTP does not decompress with WINHTTP_OPTION_DECOMPRESSION";
    std::string expected;
    for (int i = 0; i < 200; ++i)
        expected += "Compressed feed body, decoded by the client.\n";
    EXPECT_EQ(fetchFeedWith(LOOPBACK_HOST, L"/gzip", trusted()), expected);
}

TEST_F(FetchTest, RefusesGzipBodyThatInflatesPastFourMebibytes)
{
    if (runningUnderWine())
        GTEST_SKIP() << "Wine's WinHTTP does not decompress with WINHTTP_OPTION_DECOMPRESSION";
    // About 5 KB on the wire, 5 MiB once decoded: the bound applies to what the reader would get.
    EXPECT_EQ(fetchFailure(L"/gzip-bomb", trusted()), "Response too large");
}

TEST_F(FetchTest, TricklingBodyPastDeadlineIsResponseTimeout)
{
    // 30 bytes at 100 ms each take 3 s; the deadline is 1 s. (Wine's WinHttpReadData waits for the
    // whole buffer, so there the first read returns only at the end and the next check fails.)
    EXPECT_EQ(fetchFailure(L"/trickle?bytes=30&ms=100", trusted(1000)), "Response timeout");
}

TEST_F(FetchTest, SlowBodyWithinDeadlineIsAccepted)
{
    // 8 bytes at 125 ms each arrive in about 1 s, well inside a 4 s deadline.
    EXPECT_EQ(fetchFeedWith(LOOPBACK_HOST, L"/trickle?bytes=8&ms=125", trusted(4000)), "xxxxxxxx");
}

TEST_F(FetchTest, UntrustedAuthorityIsHttpsRequestFailed)
{
    const FetchOptions options{.port = loopbackServer().untrustedPort, .bodyDeadlineMs = 45000};
    EXPECT_EQ(fetchFailure(L"/pattern/16", options), "HTTPS request failed");
}

TEST_F(FetchTest, ClosedPortIsHttpsRequestFailed)
{
    const FetchOptions options{.port = loopbackServer().closedPort, .bodyDeadlineMs = 45000};
    EXPECT_EQ(fetchFailure(L"/pattern/16", options), "HTTPS request failed");
}

TEST_F(FetchTest, SendsIdentityAndLanguageAndNoCookieItWasGiven)
{
    const std::string cookiePath = "/cookie?tag=" + runTag() + "-identity";
    const std::string echoPath = "/echo?tag=" + runTag() + "-identity";
    fetchFeedWith(LOOPBACK_HOST, wide(cookiePath), trusted());
    fetchFeedWith(LOOPBACK_HOST, wide(echoPath), trusted());

    const std::vector<LoggedRequest> first = loggedRequests(cookiePath);
    const std::vector<LoggedRequest> second = loggedRequests(echoPath);
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    for (const LoggedRequest* request : {&first[0], &second[0]}) {
        SCOPED_TRACE(request->path);
        EXPECT_EQ(headerValue(*request, "User-Agent"), "Kestrune/1.0 (science story reader)");
        EXPECT_EQ(headerValue(*request, "Accept-Language"), "en");
        EXPECT_EQ(headerValue(*request, "Accept"), "application/rss+xml, application/xml");
        EXPECT_EQ(headerValue(*request, "Cookie"), std::nullopt);
        EXPECT_EQ(headerValue(*request, "Authorization"), std::nullopt);
    }
}

TEST_F(FetchTest, RedirectIsNotFollowed)
{
    const std::string path = "/redirect?tag=" + runTag() + "-redirect";
    EXPECT_EQ(fetchFailure(wide(path), trusted()), "Source unavailable");
    EXPECT_EQ(loggedRequests(path).size(), 1u);
    EXPECT_TRUE(loggedRequests("/pattern/16?followed&tag=" + runTag() + "-redirect").empty())
        << "the redirect target was requested";
}

}  // namespace
