#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace testing_support {

// Damages valid file contents the ways disks, editors and other programs do: flipped
// bits, bytes lost or doubled, cut short, spliced, and the bytes that mean something to
// the readers (line ends, TAB, blank, backslash, NUL, GBK lead bytes, 0xFF) dropped in.
class Mutator
{
public:
    explicit Mutator(std::uint32_t seed) : m_random(seed) {}

    std::string mutate(std::string_view original)
    {
        std::string text(original);
        const int rounds = 1 + pick(4);
        for (int i = 0; i < rounds; ++i) {
            mutateOnce(text);
        }
        return text;
    }

    int pick(int below) { return static_cast<int>(m_random() % static_cast<unsigned>(below)); }

private:
    void mutateOnce(std::string& text)
    {
        static constexpr std::string_view Meaningful("\r\n\t \\\0\x81\xFE\xFF"
                                                     "0123456789:.",
                                                     20);
        const std::size_t at = text.empty() ? 0 : static_cast<std::size_t>(pick(
                                                      static_cast<int>(text.size())));
        switch (pick(7)) {
        case 0:
            if (!text.empty()) {
                text[at] = static_cast<char>(text[at] ^ (1 << pick(8)));
            }
            break;
        case 1:
            text.insert(at, 1, Meaningful[static_cast<std::size_t>(pick(static_cast<int>(Meaningful.size())))]);
            break;
        case 2:
            if (!text.empty()) {
                text.erase(at, 1 + static_cast<std::size_t>(pick(8)));
            }
            break;
        case 3:
            text.resize(at);
            break;
        case 4:
            text.insert(at, text.substr(at, static_cast<std::size_t>(pick(64))));
            break;
        case 5:
            text.insert(at, std::string(static_cast<std::size_t>(pick(40)), '\t'));
            break;
        default:
            if (!text.empty()) {
                text[at] = static_cast<char>(m_random());
            }
            break;
        }
    }

    std::mt19937 m_random;
};

} // namespace testing_support
