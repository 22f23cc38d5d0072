// The strict codecs and the text policy: what is refused, exactly at which edges.
#include "model/model.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string bytes(std::initializer_list<unsigned char> values)
{
    return std::string(values.begin(), values.end());
}

std::string failureReason(auto&& call)
{
    try {
        call();
    } catch (const Failure& failure) {
        return failure.reason();
    }
    return "no failure";
}

}  // namespace

TEST(TextCodec, RoundTripKeepsAccentedTextByteForByte)
{
    const std::string text = "An observation: café / Größe";
    ASSERT_EQ(text.size(), 31u);
    const std::wstring wide = utf8ToUtf16(text);
    EXPECT_EQ(wide, L"An observation: caf\u00e9 / Gr\u00f6\u00dfe");
    EXPECT_EQ(utf16ToUtf8(wide), text);
}

TEST(TextCodec, EmptyTextConvertsToEmpty)
{
    EXPECT_EQ(utf8ToUtf16(""), L"");
    EXPECT_EQ(utf16ToUtf8(L""), "");
}

TEST(TextCodec, ConvertsCharactersOutsideTheBasicPlaneToSurrogatePairs)
{
    EXPECT_EQ(utf8ToUtf16(bytes({0xF0, 0x9F, 0x94, 0xAD})), std::wstring(L"\xD83D\xDD2D"));  // telescope
    EXPECT_EQ(utf16ToUtf8(L"\xD83D\xDD2D"), bytes({0xF0, 0x9F, 0x94, 0xAD}));
    EXPECT_EQ(utf8ToUtf16(bytes({0xF4, 0x8F, 0xBF, 0xBF})), std::wstring(L"\xDBFF\xDFFF"));  // U+10FFFF
}

TEST(TextCodec, KeepsNulBytesInsideText)
{
    const std::string text("a\0b", 3);
    const std::wstring wide = utf8ToUtf16(text);
    ASSERT_EQ(wide.size(), 3u);
    EXPECT_EQ(wide[1], L'\0');
    EXPECT_EQ(utf16ToUtf8(wide), text);
}

TEST(TextCodec, RefusesMalformedUtf8)
{
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"lone 0xFF", bytes({0xFF})},
        {"stray continuation byte", bytes({'a', 0x80, 'b'})},
        {"truncated two-byte sequence", bytes({'a', 0xC3})},
        {"truncated three-byte sequence", bytes({0xE2, 0x82})},
        {"truncated four-byte sequence", bytes({0xF0, 0x9F, 0x94})},
        {"over-long slash", bytes({0xC0, 0xAF})},
        {"over-long NUL", bytes({0xC0, 0x80})},
        {"over-long three-byte form", bytes({0xE0, 0x80, 0xAF})},
        {"encoded high surrogate", bytes({0xED, 0xA0, 0x80})},
        {"encoded low surrogate", bytes({0xED, 0xBF, 0xBF})},
        {"above U+10FFFF", bytes({0xF4, 0x90, 0x80, 0x80})},
        {"five-byte lead", bytes({0xF8, 0x88, 0x80, 0x80, 0x80})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(failureReason([&] { utf8ToUtf16(c.text); }), "Invalid UTF-8") << c.name;
}

TEST(TextCodec, RefusesUnpairedSurrogatesInsteadOfReplacingThem)
{
    const std::wstring cases[] = {
        std::wstring(L"a\xD800"),        // lone high at the end
        std::wstring(L"\xDC00z"),        // lone low at the start
        std::wstring(L"\xD800\xD800"),   // two highs
        std::wstring(L"\xDFFF\xD800"),   // reversed pair
    };
    for (const auto& text : cases)
        EXPECT_EQ(failureReason([&] { utf16ToUtf8(text); }), "Invalid UTF-16");
}

TEST(TextPolicy, RefusesTheFourCyrillicBlocksExactlyAtTheirEdges)
{
    const struct {
        wchar_t unit;
        bool supported;
    } cases[] = {
        {0x03FF, true}, {0x0400, false}, {0x0410, false}, {0x04FF, false}, {0x0500, false},
        {0x052F, false}, {0x0530, true}, {0x1C80, true}, {0x2DDF, true}, {0x2DE0, false},
        {0x2DFF, false}, {0x2E00, true}, {0xA63F, true}, {0xA640, false}, {0xA641, false},
        {0xA69F, false}, {0xA6A0, true},
    };
    for (const auto& c : cases) {
        const std::wstring text = std::wstring(L"ok ") + c.unit;
        EXPECT_EQ(isSupportedWideText(text), c.supported) << std::hex << static_cast<unsigned>(c.unit);
    }
}

TEST(TextPolicy, AcceptsLatinGreekCjkAndEmoji)
{
    EXPECT_TRUE(isSupportedWideText(L"Espa\u00f1ol f\u00fcr alle"));
    EXPECT_TRUE(isSupportedWideText(L"\u03b1\u03b2\u03b3 \u5b87\u5b99"));
    EXPECT_TRUE(isSupportedWideText(L"\xD83D\xDE80"));
    EXPECT_TRUE(isSupportedWideText(L""));
}

TEST(TextPolicy, CheckTextAppliesLimitEncodingScriptAndNulInThatOrder)
{
    EXPECT_EQ(checkText("", 0), "");
    EXPECT_EQ(checkText("abc", 3), "abc");
    EXPECT_EQ(failureReason([] { checkText("abc", 2); }), "Unsupported text");
    EXPECT_EQ(failureReason([] { checkText(std::string("a\0b", 3), 10); }), "Unsupported text");
    EXPECT_EQ(failureReason([] { checkText("\xD0\x90", 10); }), "Unsupported text");  // U+0410
    EXPECT_EQ(failureReason([] { checkText("\xFF", 10); }), "Invalid UTF-8");
    // The byte limit comes first: an over-long invalid text is refused for its length.
    EXPECT_EQ(failureReason([] { checkText("\xFF\xFF\xFF", 2); }), "Unsupported text");
    // Limits count bytes, not characters: "é" is two bytes.
    EXPECT_EQ(failureReason([] { checkText("\xC3\xA9", 1); }), "Unsupported text");
    EXPECT_EQ(checkText("\xC3\xA9", 2), "\xC3\xA9");
}

// checkText reads the bytes without converting them; it must give the converter's verdict on each.
TEST(TextPolicy, CheckTextGivesTheSameVerdictAsConvertingFirst)
{
    auto converted = [](const std::string& text) -> std::string {
        const std::string invalid = failureReason([&] { utf8ToUtf16(text); });
        if (invalid != "no failure")
            return invalid;
        return isSupportedWideText(utf8ToUtf16(text)) && text.find('\0') == std::string::npos ? "no failure"
                                                                                              : "Unsupported text";
    };
    // Lead bytes and continuations around every edge the decoder has, mixed with the refused blocks.
    const unsigned char pieces[][4] = {
        {'a'}, {0}, {0x7F}, {0x80}, {0xBF}, {0xC0, 0x80}, {0xC1, 0xBF}, {0xC2, 0x80}, {0xCF, 0xBF}, {0xD0, 0x80},
        {0xD4, 0xAF}, {0xD4, 0xB0}, {0xDF, 0xBF}, {0xE0, 0x9F, 0xBF}, {0xE0, 0xA0, 0x80}, {0xE2, 0xB7, 0x9F},
        {0xE2, 0xB7, 0xA0}, {0xE2, 0xB7, 0xBF}, {0xEA, 0x99, 0x80}, {0xEA, 0x9A, 0x9F}, {0xEA, 0x9A, 0xA0},
        {0xED, 0x9F, 0xBF}, {0xED, 0xA0, 0x80}, {0xEE, 0x80, 0x80}, {0xEF, 0xBF, 0xBF}, {0xF0, 0x8F, 0xBF, 0xBF},
        {0xF0, 0x90, 0x80, 0x80}, {0xF4, 0x8F, 0xBF, 0xBF}, {0xF4, 0x90, 0x80, 0x80}, {0xF5}, {0xFF}, {0xE2, 0x82},
    };
    unsigned state = 12345;
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        const int count = 1 + round % 5;
        for (int i = 0; i < count; ++i) {
            state = state * 1103515245u + 12345u;
            const unsigned char* piece = pieces[(state >> 16) % std::size(pieces)];
            std::size_t length = piece[0] >= 0xF0 && piece[0] <= 0xF4 ? 4 : piece[0] >= 0xE0 ? 3 : piece[0] >= 0xC0 ? 2 : 1;
            if (piece[0] >= 0xF5)
                length = 1;
            if ((state >> 8) % 7 == 0 && length > 1)
                --length;  // cut short
            text.append(reinterpret_cast<const char*>(piece), length);
        }
        std::string hex;
        for (unsigned char byte : text)
            hex += "0123456789ABCDEF"[byte >> 4], hex += "0123456789ABCDEF"[byte & 15], hex += ' ';
        EXPECT_EQ(failureReason([&] { checkText(text, 100); }), converted(text)) << hex;
    }
}

TEST(TextPolicy, ExpandLineBreaksAddsCarriageReturnsOnlyWhereMissing)
{
    EXPECT_EQ(expandLineBreaks(L"a\nb\r\nc\n\nd"), L"a\r\nb\r\nc\r\n\r\nd");
    EXPECT_EQ(expandLineBreaks(L"\n"), L"\r\n");
    EXPECT_EQ(expandLineBreaks(L"no breaks"), L"no breaks");
}
