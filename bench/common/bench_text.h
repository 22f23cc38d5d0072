// Story text for the benchmarks' libraries at the file limits.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

namespace bench_text {

// Text with paragraphs, non-ASCII letters and characters that the file must escape; the same seed
// gives the same text, so runs compare like with like.
inline std::string filler(std::size_t bytes, unsigned seed, const char* paragraph = "\n\n")
{
    static const char* const words[] = {"orbit", "caf\xC3\xA9", "\"plume\"", "sample", "Gr\xC3\xB6\xC3\x9F" "e",
                                        "ridge", "tab\there", "spectrum", "ocean", "sensor"};
    const std::size_t breakLength = std::strlen(paragraph);
    std::string text;
    text.reserve(bytes);
    unsigned state = seed * 2654435761u + 1;
    while (text.size() < bytes) {
        state = state * 1103515245u + 12345u;
        const char* word = words[(state >> 16) % 10];
        if (text.size() + std::strlen(word) + breakLength > bytes)
            break;
        text += word;
        text += (state >> 8) % 40 == 0 ? paragraph : " ";
    }
    text.append(bytes - text.size(), '.');
    return text;
}

}  // namespace bench_text
