// The library file text: a direct printer for the document's fixed shape that gives exactly the
// bytes of the JSON library's strict two-space dump, copying and checking texts 64 bytes at a time.
#include "persistence/persistence_internal.h"

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

// The text being printed, written through a raw cursor into a string sized ahead, so that the
// room is checked once per chunk or field rather than once per byte.
struct TextBuffer {
    std::string text;
    char* cursor = nullptr;
    char* end = nullptr;
    PrintSink* sink = nullptr;

    explicit TextBuffer(std::size_t capacity) : TextBuffer(std::string(), capacity) {}
    // Prints over a string of an earlier print: its pages are already in memory, so a save does not
    // pay for touching fresh ones each time (a few milliseconds for a large library).
    TextBuffer(std::string&& reused, std::size_t capacity) : text(std::move(reused))
    {
        text.resize(std::max(text.size(), capacity));
        cursor = text.data();
        end = cursor + text.size();
    }

    // Makes room for `bytes` more bytes at `at` (a cursor into this buffer); returns the cursor anew.
    char* room(char* at, std::size_t bytes)
    {
        if (static_cast<std::size_t>(end - at) >= bytes)
            return at;
        const std::size_t used = static_cast<std::size_t>(at - text.data());
        if (sink)
            sink->beforeMove();
        text.resize(std::max(text.size() + text.size() / 2, used + bytes));
        end = text.data() + text.size();
        return text.data() + used;
    }
    void room(std::size_t bytes) { cursor = room(cursor, bytes); }
    void publish()
    {
        if (sink)
            sink->printed(text.data(), static_cast<std::size_t>(cursor - text.data()));
    }

    template <std::size_t N>
    void put(const char (&literal)[N])  // caller made room
    {
        std::memcpy(cursor, literal, N - 1);
        cursor += N - 1;
    }

    std::string finish()
    {
        text.resize(static_cast<std::size_t>(cursor - text.data()));
        sink = nullptr;  // the text lives on in the caller's string
        return std::move(text);
    }

    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;
    // A print that fails frees the text: whoever reads it must have stopped first.
    ~TextBuffer()
    {
        if (sink)
            sink->beforeMove();
    }
};

// Length of the well-formed UTF-8 sequence at p (lead byte >= 0x80), or 0. Exactly the sequences of
// the Unicode table of well-formed byte sequences: no overlong forms, no encoded surrogates, nothing
// past U+10FFFF, no stray continuation byte, no sequence cut off by the end of the text.
std::size_t utf8SequenceLength(const unsigned char* p, const unsigned char* end)
{
    const unsigned lead = p[0];
    const std::size_t available = static_cast<std::size_t>(end - p);
    auto continuation = [](unsigned byte) { return (byte & 0xC0u) == 0x80u; };
    if (lead < 0xC2)
        return 0;
    if (lead < 0xE0)
        return available >= 2 && continuation(p[1]) ? 2 : 0;
    if (lead < 0xF0) {
        if (available < 3)
            return 0;
        const unsigned low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
        return p[1] >= low && p[1] <= high && continuation(p[2]) ? 3 : 0;
    }
    if (lead <= 0xF4) {
        if (available < 4)
            return 0;
        const unsigned low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
        return p[1] >= low && p[1] <= high && continuation(p[2]) && continuation(p[3]) ? 4 : 0;
    }
    return 0;
}

[[noreturn]] void failInvalidUtf8()
{
    fail("Invalid UTF-8");  // strict printing refuses a text field that is not UTF-8
}

// The escape of every byte that has one, padded to eight bytes so that it is stored in one go.
struct Escape {
    char text[7];
    unsigned char length;  // 0: the byte is written as it is
};

constexpr std::array<Escape, 128> makeEscapes()
{
    constexpr char HEX[] = "0123456789abcdef";
    std::array<Escape, 128> table{};
    for (unsigned byte = 0; byte < 0x20; ++byte)
        table[byte] = Escape{{'\\', 'u', '0', '0', HEX[byte >> 4], HEX[byte & 0xF], 0}, 6};
    table['\b'] = Escape{{'\\', 'b'}, 2};
    table['\f'] = Escape{{'\\', 'f'}, 2};
    table['\n'] = Escape{{'\\', 'n'}, 2};
    table['\r'] = Escape{{'\\', 'r'}, 2};
    table['\t'] = Escape{{'\\', 't'}, 2};
    table['"'] = Escape{{'\\', '"'}, 2};
    table['\\'] = Escape{{'\\', '\\'}, 2};
    return table;
}

constexpr std::array<Escape, 128> ESCAPES = makeEscapes();

// Texts are printed in chunks of 64 bytes, each read as four vectors. A chunk is copied whole and
// the escapes are then written over the copy; reading 64 bytes past an escape needs 128 readable
// bytes from the chunk's start, so the last part of a text goes through a padded copy.
constexpr std::ptrdiff_t CHUNK = 64;
constexpr int PARTS = CHUNK / 16;
static_assert(CHUNK % 16 == 0 && CHUNK <= 64, "one bit per byte of a chunk in a 64-bit mask");
constexpr std::ptrdiff_t READABLE = 2 * CHUNK;
// Output room kept beyond the input still to be read: the copy past the end, and the growth of a
// chunk whose every byte is escaped.
constexpr std::size_t CHUNK_ROOM = 6 * CHUNK + READABLE;

struct Chunk {
    __m128i part[PARTS];
};

[[gnu::always_inline]] inline Chunk loadChunk(const unsigned char* p)
{
    Chunk chunk;
    for (int k = 0; k < PARTS; ++k)
        chunk.part[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    return chunk;
}

[[gnu::always_inline]] inline void storeChunk(char* out, const Chunk& chunk)
{
    for (int k = 0; k < PARTS; ++k)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * k), chunk.part[k]);
}

std::uint64_t joinMasks(const __m128i (&masks)[PARTS])
{
    std::uint64_t joined = 0;  // PARTS * 16 bits
    for (int k = 0; k < PARTS; ++k)
        joined |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(masks[k]))) << (16 * k);
    return joined;
}

// Bytes of the chunk at p that end on a sequence boundary (61 to 64), each sequence checked; p is on
// a boundary. The slow way, for chunks holding anything but ASCII and two-byte sequences.
std::ptrdiff_t checkedChunkLength(const unsigned char* p, const unsigned char* end)
{
    std::ptrdiff_t i = 0;
    while (i < CHUNK && p + i < end) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        const auto length = static_cast<std::ptrdiff_t>(utf8SequenceLength(p + i, end));
        if (length == 0)
            failInvalidUtf8();
        if (i + length > CHUNK)
            break;  // the next chunk starts with it
        i += length;
    }
    return i;
}

// Bytes of the chunk at p (on a sequence boundary) that end on a boundary, all well-formed UTF-8.
// The quick test holds for ASCII with two-byte sequences: every byte from 0x80 up is either a lead
// 0xC2..0xDF followed by a continuation byte, or such a continuation byte.
[[gnu::always_inline]] inline std::ptrdiff_t utf8ChunkLength(const Chunk& chunk, const unsigned char* p,
                                                              const unsigned char* end)
{
    __m128i any = chunk.part[0];
    for (int k = 1; k < PARTS; ++k)
        any = _mm_or_si128(any, chunk.part[k]);
    if (_mm_movemask_epi8(any) == 0)
        return CHUNK;
    // Signed compares: 0x80..0xBF are continuation bytes, 0xC2..0xDF two-byte leads.
    const __m128i zero = _mm_setzero_si128(), belowC0 = _mm_set1_epi8(-64), aboveC1 = _mm_set1_epi8(-63),
                  belowE0 = _mm_set1_epi8(-32);
    __m128i wrong = zero, previousLead = zero;
    for (int k = 0; k < PARTS; ++k) {
        const __m128i part = chunk.part[k];
        const __m128i continuation = _mm_cmplt_epi8(part, belowC0);
        const __m128i lead = _mm_and_si128(_mm_cmpgt_epi8(part, aboveC1), _mm_cmplt_epi8(part, belowE0));
        const __m128i other = _mm_andnot_si128(_mm_or_si128(continuation, lead), _mm_cmplt_epi8(part, zero));
        const __m128i expected = _mm_or_si128(_mm_slli_si128(lead, 1), _mm_srli_si128(previousLead, 15));
        wrong = _mm_or_si128(wrong, _mm_or_si128(_mm_xor_si128(expected, continuation), other));
        previousLead = lead;
    }
    if (_mm_movemask_epi8(wrong) != 0)
        return checkedChunkLength(p, end);
    return CHUNK - (static_cast<unsigned>(_mm_movemask_epi8(previousLead)) >> 15);  // a lead last: its pair follows
}

// Bit i set where byte i needs an escape: below 0x20, quotation mark, backslash.
[[gnu::always_inline]] inline std::uint64_t escapeMask(const Chunk& chunk)
{
    const __m128i control = _mm_set1_epi8(0x1F), quote = _mm_set1_epi8('"'), backslash = _mm_set1_epi8('\\');
    __m128i masks[PARTS];
    for (int k = 0; k < PARTS; ++k) {
        const __m128i part = chunk.part[k];
        masks[k] = _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(part, control), part),
                                _mm_or_si128(_mm_cmpeq_epi8(part, quote), _mm_cmpeq_epi8(part, backslash)));
    }
    return joinMasks(masks);
}

// Prints the chunk at p, of which the bytes before `end` are text; READABLE bytes from p can be read
// and CHUNK_ROOM bytes written at `out`. Returns the end of the output; `consumed` gets the bytes
// printed, which end on a sequence boundary.
[[gnu::always_inline]] inline char* putChunk(char* out, const unsigned char* p, const unsigned char* end,
                                             std::ptrdiff_t& consumed)
{
    const Chunk chunk = loadChunk(p);
    const std::ptrdiff_t length = std::min(utf8ChunkLength(chunk, p, end), end - p);
    std::uint64_t escapes = escapeMask(chunk);
    if (length < CHUNK)
        escapes &= (std::uint64_t{1} << length) - 1;
    // Each escape's place follows from its position and the growth before it, so the escapes of a
    // chunk do not wait on one another.
    storeChunk(out, chunk);
    std::ptrdiff_t growth = 0;
    while (escapes != 0) {
        const auto at = static_cast<std::ptrdiff_t>(__builtin_ctzll(escapes));
        char* const place = out + at + growth;
        const Escape& escape = ESCAPES[p[at]];
        std::memcpy(place, &escape, sizeof escape);
        growth += escape.length - 1;
        storeChunk(place + escape.length, loadChunk(p + at + 1));
        escapes &= escapes - 1;
    }
    consumed = length;
    return out + length + growth;
}

// Writes the text between quotation marks; raises "Invalid UTF-8" on any ill-formed sequence.
void putString(TextBuffer& buffer, std::string_view text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    char* out = buffer.room(buffer.cursor, text.size() + CHUNK_ROOM);
    *out++ = '"';
    std::ptrdiff_t consumed = 0;
    for (; end - p >= READABLE; p += consumed) {
        out = buffer.room(out, static_cast<std::size_t>(end - p) + CHUNK_ROOM);
        out = putChunk(out, p, end, consumed);
    }
    // The rest, under READABLE bytes, padded with spaces: plain bytes that no sequence continues into.
    unsigned char padded[2 * READABLE];
    std::memset(padded, ' ', sizeof padded);
    std::memcpy(padded, p, static_cast<std::size_t>(end - p));
    const unsigned char* const paddedEnd = padded + (end - p);
    for (const unsigned char* q = padded; q < paddedEnd; q += consumed) {
        out = buffer.room(out, static_cast<std::size_t>(paddedEnd - q) + CHUNK_ROOM);
        out = putChunk(out, q, paddedEnd, consumed);
    }
    *out++ = '"';
    buffer.cursor = out;
}

// Integers in plain decimal; the caller made room for 20 characters.
void putInteger(TextBuffer& buffer, std::int64_t value)
{
    buffer.cursor = std::to_chars(buffer.cursor, buffer.cursor + 24, value).ptr;
}

// The JSON library's own shortest round-trip form, with ".0" kept on whole values. A value that is
// not finite would print as null, which the reader refuses: such a save must fail instead of
// reporting success for a file that cannot be read back. The caller made room for 64 characters.
void putDouble(TextBuffer& buffer, double value)
{
    if (!std::isfinite(value))
        fail("Invalid story");
    buffer.cursor = nlohmann::detail::to_chars(buffer.cursor, buffer.cursor + 64, value);
}

void putBool(TextBuffer& buffer, bool value)
{
    if (value)
        buffer.put("true");
    else
        buffer.put("false");
}

// Room for the fixed parts of one story or edge: key lines, three numbers and a flag.
constexpr std::size_t ELEMENT_ROOM = 512;

void putStory(TextBuffer& buffer, const Story& story)
{
    buffer.room(ELEMENT_ROOM);
    buffer.put("    {\n      \"asset\": ");
    putInteger(buffer, story.asset);
    buffer.put(",\n      \"body\": ");
    putString(buffer, story.body);
    buffer.room(ELEMENT_ROOM);
    buffer.put(",\n      \"id\": ");
    putString(buffer, story.id);
    buffer.room(ELEMENT_ROOM);
    buffer.put(",\n      \"note\": ");
    putString(buffer, story.note);
    buffer.room(ELEMENT_ROOM);
    buffer.put(",\n      \"published\": ");
    putInteger(buffer, story.published);
    buffer.put(",\n      \"saved\": ");
    putBool(buffer, story.saved);
    buffer.put(",\n      \"source\": ");
    putString(buffer, story.source);
    buffer.room(ELEMENT_ROOM);
    buffer.put(",\n      \"title\": ");
    putString(buffer, story.title);
    buffer.room(ELEMENT_ROOM);
    buffer.put(",\n      \"url\": ");
    putString(buffer, story.url);
    buffer.room(ELEMENT_ROOM);
    buffer.put(",\n      \"x\": ");
    putDouble(buffer, story.x);
    buffer.put(",\n      \"y\": ");
    putDouble(buffer, story.y);
    buffer.put("\n    }");
}

void putEdge(TextBuffer& buffer, const Link& link)
{
    buffer.room(ELEMENT_ROOM);
    buffer.put("    {\n      \"a\": ");
    putString(buffer, link.a);
    buffer.room(ELEMENT_ROOM);
    buffer.put(",\n      \"b\": ");
    putString(buffer, link.b);
    buffer.room(ELEMENT_ROOM);
    buffer.put(",\n      \"kind\": ");
    putInteger(buffer, link.kind);
    buffer.put("\n    }");
}

// One array member of the root: "[]" when empty, else one element per line.
template <typename Element, typename Put>
void putArray(TextBuffer& buffer, const std::vector<Element>& elements, Put putElement)
{
    buffer.room(ELEMENT_ROOM);
    if (elements.empty()) {
        buffer.put("[]");
        return;
    }
    buffer.put("[\n");
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (i > 0) {
            buffer.room(ELEMENT_ROOM);
            buffer.put(",\n");
        }
        putElement(buffer, elements[i]);
        buffer.publish();
    }
    buffer.room(ELEMENT_ROOM);
    buffer.put("\n  ]");
}

// The printed size when nothing needs escaping, plus a sixteenth for escapes: an ordinary library
// is printed without the buffer ever growing, and little more memory is touched than is written.
std::size_t expectedSize(const Library& library)
{
    std::size_t size = 256;
    for (const Story& story : library.stories)
        size += 320 + story.body.size() + story.id.size() + story.note.size() + story.source.size()
              + story.title.size() + story.url.size();
    for (const Link& link : library.links)
        size += 80 + link.a.size() + link.b.size();
    return size + size / 16;
}

}  // namespace

std::string libraryText(const Library& library)
{
    std::string text;
    printLibraryText(library, text);
    return text;
}

void printLibraryText(const Library& library, std::string& text)
{
    printLibraryText(library, text, nullptr);
}

void printLibraryText(const Library& library, std::string& text, PrintSink* sink)
{
    TextBuffer buffer(std::move(text), expectedSize(library));
    buffer.sink = sink;
    buffer.room(ELEMENT_ROOM);
    buffer.put("{\n  \"automatic\": ");
    putBool(buffer, library.settings.automatic);
    buffer.put(",\n  \"edges\": ");
    putArray(buffer, library.links, putEdge);
    buffer.room(ELEMENT_ROOM);
    buffer.put(",\n  \"format\": \"Kestrune\",\n  \"lastCheck\": ");
    putInteger(buffer, library.settings.lastCheck);
    buffer.put(",\n  \"notifications\": ");
    putBool(buffer, library.settings.notifications);
    buffer.put(",\n  \"stories\": ");
    putArray(buffer, library.stories, putStory);
    buffer.room(ELEMENT_ROOM);
    buffer.put(",\n  \"version\": 1\n}");
    buffer.publish();
    text = buffer.finish();
}
