// Randomised source URLs: whatever the policy accepts must be an agency page to a browser's reading of
// the same text, and plainly written agency pages must be accepted. Replay with KESTRUNE_FUZZ_SEED.
#include "model/model.h"

#include "../randomised_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------

// ---------------------------------------------------------------------------------------------
// A browser's reading, kept deliberately simple: the URL standard's steps for an https URL's authority,
// with only the few character mappings of internationalised names that turn into ASCII.

bool isForbiddenInDomain(char32_t c)
{
    return c <= 0x20 || c == 0x7F || (c < 0x80 && std::string_view("#%/:<>?@[\\]^|").find(static_cast<char>(c))
                                                     != std::string_view::npos);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(std::string_view text)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            bytes.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            bytes.push_back(text[i]);
        }
    }
    return bytes;
}

std::optional<std::u32string> decodedUtf8(std::string_view bytes)
{
    std::u32string points;
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 0;
        if (lead < 0x80)
            length = 1;
        else if (lead >= 0xC2 && lead < 0xE0)
            length = 2;
        else if (lead >= 0xE0 && lead < 0xF0)
            length = 3;
        else if (lead >= 0xF0 && lead < 0xF5)
            length = 4;
        if (length == 0 || i + length > bytes.size())
            return std::nullopt;
        char32_t point = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            point = point << 6 | (next & 0x3F);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < least[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return std::nullopt;
        points.push_back(point);
        i += length;
    }
    return points;
}

char32_t mappedForDomain(char32_t c)
{
    if (c >= 0xFF01 && c <= 0xFF5E)  // full-width forms of ASCII
        c -= 0xFEE0;
    if (c == 0x3002 || c == 0xFF61)  // ideographic full stops
        c = '.';
    if (c >= 'A' && c <= 'Z')
        c += 'a' - 'A';
    return c;
}

// The host parser takes a name whose last label is a number for an IPv4 address.
bool endsInNumber(const std::u32string& host)
{
    std::u32string_view rest(host);
    if (rest.ends_with(U'.') && rest.size() > 1)
        rest.remove_suffix(1);
    const std::size_t dot = rest.rfind(U'.');
    const std::u32string_view last = dot == std::u32string_view::npos ? rest : rest.substr(dot + 1);
    if (last.empty())
        return false;
    const bool hex = last.size() >= 2 && last[0] == U'0' && (last[1] == U'x' || last[1] == U'X');
    for (std::size_t i = hex ? 2 : 0; i < last.size(); ++i) {
        const char32_t c = last[i];
        const bool digit = c >= U'0' && c <= U'9';
        const bool hexLetter = (c >= U'a' && c <= U'f') || (c >= U'A' && c <= U'F');
        if (!digit && !(hex && hexLetter))
            return false;
    }
    return true;
}

bool browserReadsAgencyPage(std::string_view url)
{
    // Leading and trailing controls and spaces are dropped, tabs and line breaks removed anywhere.
    while (!url.empty() && static_cast<unsigned char>(url.front()) <= 0x20)
        url.remove_prefix(1);
    while (!url.empty() && static_cast<unsigned char>(url.back()) <= 0x20)
        url.remove_suffix(1);
    std::string text;
    for (const char c : url)
        if (c != '\t' && c != '\n' && c != '\r')
            text.push_back(c);

    constexpr std::string_view SCHEME = "https:";
    if (text.size() < SCHEME.size())
        return false;
    for (std::size_t i = 0; i < SCHEME.size(); ++i)
        if ((text[i] >= 'A' && text[i] <= 'Z' ? text[i] + ('a' - 'A') : text[i]) != SCHEME[i])
            return false;
    std::string_view rest = std::string_view(text).substr(SCHEME.size());
    while (!rest.empty() && (rest.front() == '/' || rest.front() == '\\'))
        rest.remove_prefix(1);

    std::string_view authority = rest.substr(0, rest.find_first_of("/\\?#"));
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view userInfo = authority.substr(0, at);
        if (!userInfo.empty() && userInfo != ":")
            return false;  // a user name or a password
        authority.remove_prefix(at + 1);
    }
    if (authority.starts_with('['))
        return false;  // an IPv6 address is no agency name
    const std::size_t colon = authority.find(':');
    if (colon != std::string_view::npos) {
        const std::string_view port = authority.substr(colon + 1);
        unsigned long long value = 0;
        for (const char c : port) {
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
            if (value > 65535)
                return false;
        }
        if (!port.empty() && value != 443)
            return false;
        authority = authority.substr(0, colon);
    }

    const std::optional<std::u32string> points = decodedUtf8(percentDecoded(authority));
    if (!points || points->empty())
        return false;
    std::u32string host;
    for (const char32_t c : *points) {
        const char32_t mapped = mappedForDomain(c);
        if (isForbiddenInDomain(mapped))
            return false;
        host.push_back(mapped);
    }
    if (endsInNumber(host))
        return false;
    for (const std::u32string_view domain : {std::u32string_view(U"nasa.gov"), std::u32string_view(U"noaa.gov")}) {
        if (host == domain)
            return true;
        if (host.size() > domain.size() && host.ends_with(domain) && host[host.size() - domain.size() - 1] == U'.')
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// URL generators

// Plainly written addresses: letters, digits and hyphens, an optional empty user part and port 443.
std::string plainUrl(Random& random)
{
    static const char* const LABELS[] = {"www", "svs", "gsfc", "science", "oceanexplorer", "a-b", "x1", "NEWS"};
    static const char* const DOMAINS[] = {"nasa.gov", "noaa.gov", "NASA.GOV", "Noaa.Gov", "example.com",
                                          "nasa.gov.example.com", "evilnasa.gov", "noaa.gov-x.org", "gov"};
    static const char* const USERS[] = {"", "", "", "@"};
    static const char* const PORTS[] = {"", "", ":443"};
    static const char* const TAILS[] = {"", "/", "/news-release/feed/", "/rss.xml", "/?q=1", "/#frag", "?a", "#b"};
    std::string host;
    for (std::size_t labels = random.below(3); labels > 0; --labels)
        host += std::string(random.pick(LABELS)) + ".";
    return "https://" + std::string(random.pick(USERS)) + host + random.pick(DOMAINS) + random.pick(PORTS)
        + random.pick(TAILS);
}

// Authorities built from the pieces that trick URL readers, then damaged at the byte level.
std::string hostileUrl(Random& random)
{
    static const char* const SCHEMES[] = {"https://", "https://", "https://", "https://", "https://",
                                          "HTTPS://", "https:/", "https:\\\\", "http://", "https:///"};
    static const char* const USERS[] = {"", "", "", "", "@", ":@", "user@", "user:pass@", ":pw@", "nasa.gov@",
                                        "www.nasa.gov:443@", "%40@", "a%3Ab@", "u@nasa.gov@", "nasa.gov%40"};
    static const char* const PARTS[] = {
        "www", "nasa", "noaa", "gov", "nasa.gov", "noaa.gov", "evil", "com", "example", "xn--nsa-8ma", "NASA",
        "GoV", "N%41SA", "%2e", "%2E", "%00", "%2f", "%40", "%25", "%", "%zz", "127", "0", "1", "0x7f", "255",
        "[::1]", "[", "]", "\xC3\xB1", "\xEF\xBD\x8E\xEF\xBD\x81", "\xEF\xBC\x8E", "\xE3\x80\x82", "\xEF\xBC\x8F",
        "\xEF\xBC\xA0", "\xEF\xBC\x9F", "\x01", "\x7F", "<", ">", "^", "|", "_", "-", "*", "~", "!", ";", ",",
        "=", "'", "\"", "{", "`", "\xC2\xAD", "\xE2\x80\x8B", "\xD0\xB0", "\xFF", "\xC0\xAE", "\\"};
    static const char* const ENDINGS[] = {"nasa.gov", "nasa.gov", ".nasa.gov", ".nasa.gov", ".noaa.gov", "NASA.GOV",
                                          ".nasa.gov.", "", ".gov", "nasa.gov.evil.com"};
    static const char* const PORTS[] = {"", "", "", ":", ":443", ":0443", ":00443", ":444", ":443abc", ":65979",
                                        ":65536", ":99999999999443", ":+443", ":-443", ":44 3", ":443:443",
                                        ":0x1bb", ":%34%34%33", ":\xEF\xBC\x94\xEF\xBC\x94\xEF\xBC\x93", ":443@x"};
    static const char* const TAILS[] = {"", "/", "/path", "?q", "#f", "\\", "\\@evil.com", "#@evil.com",
                                        "?@evil.com", "/@evil.com", "%00", "/caf\xC3\xA9", "/\xD0\x90", " ",
                                        "\t", "\r\n", "#.nasa.gov", "?.nasa.gov", "/.nasa.gov"};
    static const char* const SEPARATORS[] = {".", ".", ".", "", ".."};
    static const char DAMAGE[] = {'.', '@', ':', '/', '\\', '?', '#', '%', '[', ']', '\0', 'A', 'n', '4', '3',
                                  ' ', '\t', '\x80', '\xC3', '\xFF', '\x7F', '\x01', '2', 'e', 'x'};

    std::string host;
    for (std::size_t parts = random.below(4); parts > 0; --parts)
        host += std::string(random.pick(PARTS)) + random.pick(SEPARATORS);
    std::string url = std::string(random.pick(SCHEMES)) + random.pick(USERS) + host + random.pick(ENDINGS)
        + random.pick(PORTS) + random.pick(TAILS);
    // Around the 2048-byte limit.
    if (const std::size_t length = 2040 + random.below(16); random.percent(2) && url.size() + 1 < length)
        url.append(1, '/').append(length - url.size() - 1, 'a');
    for (std::size_t edits = random.percent(50) ? random.below(3) : 0; edits > 0; --edits) {
        const std::size_t at = random.below(url.size() + 1);
        const std::size_t kind = random.below(3);
        if (kind == 0)
            url.insert(url.begin() + static_cast<std::ptrdiff_t>(at), random.pick(DAMAGE));
        else if (at < url.size() && kind == 1)
            url[at] = random.pick(DAMAGE);
        else if (at < url.size())
            url.erase(at, 1);
    }
    return url;
}

bool isLetterOrDigit(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// Within the length limit: "https://", an optional empty user part, labels of letters, digits and
// inner hyphens, an optional ":443", then nothing or a path of visible ASCII.
bool isPlainlyWritten(std::string_view url)
{
    if (url.size() > URL_LIMIT || !url.starts_with("https://"))
        return false;
    url.remove_prefix(8);
    if (url.starts_with('@'))
        url.remove_prefix(1);
    const std::size_t end = url.find('/');
    std::string_view host = url.substr(0, end);
    const std::string_view path = end == std::string_view::npos ? std::string_view() : url.substr(end);
    if (host.ends_with(":443"))
        host.remove_suffix(4);
    std::size_t labelStart = 0;
    for (std::size_t i = 0; i <= host.size(); ++i) {
        if (i < host.size() && host[i] != '.') {
            if (!isLetterOrDigit(host[i]) && host[i] != '-')
                return false;
            continue;
        }
        const std::string_view label = host.substr(labelStart, i - labelStart);
        if (label.empty() || label.front() == '-' || label.back() == '-')
            return false;
        labelStart = i + 1;
    }
    for (const char c : path)
        if (c <= 0x20 || c >= 0x7F || c == '\\')
            return false;
    return true;
}

enum class Fault { None, AcceptsForeignPage, RefusesPlainAgencyPage };

Fault faultOf(const std::string& url)
{
    const bool accepted = isAllowedSourceUrl(url);
    const bool agencyPage = browserReadsAgencyPage(url);
    if (accepted && !agencyPage)
        return Fault::AcceptsForeignPage;
    if (!accepted && agencyPage && isPlainlyWritten(url))
        return Fault::RefusesPlainAgencyPage;
    return Fault::None;
}

}  // namespace

TEST(RandomisedUrlPolicy, AcceptsOnlyWhatABrowserReadsAsAnAgencyPage)
{
    const std::uint64_t seed = seedFromEnvironment();
    const std::size_t cases = casesFromEnvironment(400000);
    Random random{seed};
    std::size_t failures = 0;
    std::vector<std::string> reported;
    for (std::size_t i = 0; i < cases; ++i) {
        const std::string url = random.percent(20) ? plainUrl(random) : hostileUrl(random);
        const Fault fault = faultOf(url);
        if (fault == Fault::None)
            continue;
        // A broken policy fails thousands of cases; a few dozen reductions show every kind of fault.
        if (++failures > 50)
            continue;
        const std::string small = reduced(url, [&](const std::string& c) { return faultOf(c) == fault; });
        if (std::find(reported.begin(), reported.end(), small) != reported.end())
            continue;
        reported.push_back(small);
        ADD_FAILURE() << (fault == Fault::AcceptsForeignPage ? "accepted, but a browser reads no agency page: "
                                                              : "refused, though plainly an agency page: ")
                      << '"' << escaped(small.substr(0, 300)) << "\" (case " << i << " of seed " << seed
                      << ", reduced from \"" << escaped(url.substr(0, 160)) << "\")";
    }
    reportRandomised("url-policy", static_cast<long long>(cases), static_cast<long long>(failures), seed);
}

// Inputs the randomised run reduced: hosts no browser reads as an agency name.
TEST(RandomisedUrlPolicy, RefusesHostsABrowserRefusesOrRemaps)
{
    const char* const cases[] = {
        "https://>.nasa.gov",
        "https://].nasa.gov:443",
        "https://^.nasa.gov:443",
        "https://%.noaa.gov:443/",
        "https://nasa.gov%40.nasa.gov/",
        "https://\x01.nasa.gov:443/",
        "https://\x7F.noaa.gov:443/",
        "https://\xEF\xBC\xA0.noaa.gov/",  // full-width "@"
        "https://evil.com\xEF\xBC\x8F.nasa.gov/",  // full-width "/"
    };
    for (const char* url : cases) {
        EXPECT_FALSE(browserReadsAgencyPage(url)) << escaped(url);
        EXPECT_FALSE(isAllowedSourceUrl(url)) << escaped(url);
    }
}
