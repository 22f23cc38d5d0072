// The one predicate for an official source address: HTTPS on port 443, no user information, and a
// plain host name inside one of the two agency domains on a dot boundary.
#include "model/model.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>

namespace {

std::wstring asciiLower(std::wstring text)
{
    for (wchar_t& unit : text)
        if (unit >= L'A' && unit <= L'Z')
            unit = static_cast<wchar_t>(unit - L'A' + L'a');
    return text;
}

// Letters, digits, hyphens and dots only. Browsers refuse or remap many other characters of a host
// (controls, "%", "<", "^", full-width forms that become "@" or "/"), so another reader could take
// such a host for something other than the name compared here.
bool isPlainHostName(std::wstring_view host)
{
    return std::all_of(host.begin(), host.end(), [](wchar_t unit) {
        return (unit >= L'a' && unit <= L'z') || (unit >= L'0' && unit <= L'9') || unit == L'-' || unit == L'.';
    });
}

bool hostInDomain(std::wstring_view host, std::string_view domain)
{
    const std::wstring wideDomain(domain.begin(), domain.end());  // the domains are ASCII
    if (host == wideDomain)
        return true;
    return host.size() > wideDomain.size() && host.ends_with(wideDomain)
        && host[host.size() - wideDomain.size() - 1] == L'.';
}

// The host and port texts as a browser reads them: the authority ends at the first "/", "?" or "#",
// and the host follows any user information. Wine's WinHttpCrackUrl ends the host only at "/" and reads
// "443abc" as port 443, so "https://example.com#.nasa.gov" would crack to a host inside an allowed
// domain; the cracked parts must agree with this reading.
struct Authority {
    std::string_view host;
    std::string_view port;
    bool hasPort = false;
};

Authority authorityOf(std::string_view url)
{
    std::string_view rest = url.substr(8);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos)
        rest = rest.substr(at + 1);
    Authority authority;
    const std::size_t colon = rest.find(':');
    authority.host = rest.substr(0, colon);
    if (colon != std::string_view::npos) {
        authority.hasPort = true;
        authority.port = rest.substr(colon + 1);
    }
    return authority;
}

bool portTextIs(std::string_view text, unsigned expected)
{
    if (text.empty() || text.size() > 5)
        return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value == expected;
}

}  // namespace

bool isAllowedSourceUrl(std::string_view url)
{
    if (url.size() > URL_LIMIT)
        return false;
    if (!url.starts_with("https://"))
        return false;

    std::wstring wide;
    try {
        wide = utf8ToUtf16(url);
    } catch (const Failure&) {
        return false;
    }
    if (!isSupportedWideText(wide))
        return false;
    if (url.find_first_of(std::string_view("\r\n\t \\", 5)) != std::string_view::npos)
        return false;
    // A NUL inside would make WinHttpCrackUrl see a shorter URL than the one we were given.
    if (wide.find(L'\0') != std::wstring::npos)
        return false;

    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUserNameLength = static_cast<DWORD>(-1);
    parts.dwPasswordLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(wide.c_str(), 0, 0, &parts))
        return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTPS || parts.nPort != INTERNET_DEFAULT_HTTPS_PORT)
        return false;
    if (parts.dwUserNameLength != 0 || parts.dwPasswordLength != 0)
        return false;
    if (parts.lpszHostName == nullptr || parts.dwHostNameLength == 0)
        return false;

    const std::wstring host = asciiLower(std::wstring(parts.lpszHostName, parts.dwHostNameLength));
    const Authority authority = authorityOf(url);
    if (authority.hasPort && !portTextIs(authority.port, INTERNET_DEFAULT_HTTPS_PORT))
        return false;
    if (asciiLower(utf8ToUtf16(authority.host)) != host || !isPlainHostName(host))
        return false;
    return std::any_of(std::begin(ALLOWED_DOMAINS), std::end(ALLOWED_DOMAINS),
                       [&](std::string_view domain) { return hostInDomain(host, domain); });
}
