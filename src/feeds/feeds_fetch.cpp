// Hardened HTTPS fetch: one synchronous WinHTTP GET per call, with no redirects, cookies or automatic
// logon, and a response bounded in time and size.
#include "feeds/feeds.h"

#include <winhttp.h>

#include <algorithm>
#include <memory>

namespace {

// Owns one WinHTTP handle, shared with the cancel side; declared session, connection, request so
// they close in the reverse order.
struct InternetHandle {
    HINTERNET handle = nullptr;
    FetchCancel* cancel = nullptr;

    InternetHandle(HINTERNET h, FetchCancel* c) : handle(h), cancel(c)
    {
        if (handle && cancel && !cancel->track(handle)) {
            WinHttpCloseHandle(handle);
            handle = nullptr;
        }
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    ~InternetHandle()
    {
        if (handle && (!cancel || cancel->release(handle)))
            WinHttpCloseHandle(handle);
    }
    explicit operator bool() const { return handle != nullptr; }
};

constexpr wchar_t FEED_ACCEPT_HEADERS[] = L"Accept: application/rss+xml, application/xml\r\nAccept-Language: en\r\n";
constexpr DWORD FEED_READ_CHUNK = 32768;

void setDwordOption(HINTERNET request, DWORD option, DWORD value)
{
    // A refused option leaves WinHTTP's default in place; the request goes ahead either way.
    WinHttpSetOption(request, option, &value, sizeof value);
}

std::string readBody(HINTERNET request, std::uint64_t deadlineMs)
{
    std::string body;
    const auto chunk = std::make_unique<char[]>(FEED_READ_CHUNK);
    // Taken once the headers are in, so a slow handshake does not eat into the body's time.
    const ULONGLONG deadline = GetTickCount64() + deadlineMs;
    for (;;) {
        // A single read may block for the whole receive time-out, so the deadline is checked between reads.
        if (GetTickCount64() > deadline)
            fail("Response timeout");
        DWORD received = 0;
        if (!WinHttpReadData(request, chunk.get(), FEED_READ_CHUNK, &received))
            fail("Read failed");
        if (received == 0)
            return body;
        if (received > FEED_BODY_LIMIT - body.size())
            fail("Response too large");
        body.append(chunk.get(), received);
    }
}

}  // namespace

void FetchCancel::cancel()
{
    const std::lock_guard lock(mutex_);
    cancelled_ = true;
    // Request first, session last: the order the fetch itself closes them in.
    for (auto handle = open_.rbegin(); handle != open_.rend(); ++handle)
        WinHttpCloseHandle(*handle);
    open_.clear();
}

bool FetchCancel::cancelled() const
{
    const std::lock_guard lock(mutex_);
    return cancelled_;
}

bool FetchCancel::track(void* handle)
{
    const std::lock_guard lock(mutex_);
    if (cancelled_)
        return false;
    open_.push_back(handle);
    return true;
}

bool FetchCancel::release(void* handle)
{
    const std::lock_guard lock(mutex_);
    const auto found = std::find(open_.begin(), open_.end(), handle);
    if (found == open_.end())
        return false;
    open_.erase(found);
    return true;
}

std::string fetchFeedWith(std::wstring_view host, std::wstring_view path, const FetchOptions& options)
{
    const std::wstring hostText(host);
    const std::wstring pathText(path);

    InternetHandle session(WinHttpOpen(FEED_USER_AGENT, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0),
                           options.cancel);
    if (!session)
        fail("Network initialization failed");
    WinHttpSetTimeouts(session.handle, 8000, 8000, 12000, 12000);

    InternetHandle connection(WinHttpConnect(session.handle, hostText.c_str(), options.port, 0), options.cancel);
    if (!connection)
        fail("Connection failed");

    InternetHandle request(WinHttpOpenRequest(connection.handle, L"GET", pathText.c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              WINHTTP_FLAG_SECURE),
                           options.cancel);
    if (!request)
        fail("Request failed");

    setDwordOption(request.handle, WINHTTP_OPTION_REDIRECT_POLICY, WINHTTP_OPTION_REDIRECT_POLICY_NEVER);
    setDwordOption(request.handle, WINHTTP_OPTION_AUTOLOGON_POLICY, WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH);
    setDwordOption(request.handle, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_COOKIES);
    setDwordOption(request.handle, WINHTTP_OPTION_DECOMPRESSION,
                   WINHTTP_DECOMPRESSION_FLAG_GZIP | WINHTTP_DECOMPRESSION_FLAG_DEFLATE);

    // Certificate checks stay as WinHTTP does them, so a TLS failure surfaces here as well.
    if (!WinHttpSendRequest(request.handle, FEED_ACCEPT_HEADERS, static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA,
                            0, 0, 0)
        || !WinHttpReceiveResponse(request.handle, nullptr))
        fail("HTTPS request failed");

    DWORD status = 0;
    DWORD statusSize = sizeof status;
    WinHttpQueryHeaders(request.handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX);
    if (status != 200)
        fail("Source unavailable");

    return readBody(request.handle, options.bodyDeadlineMs);
}

std::string fetchFeed(std::wstring_view host, std::wstring_view path)
{
    return fetchFeedWith(host, path, FetchOptions{});
}
