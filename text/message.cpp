#include "text/message.h"

#include <atomic>
#include <vector>

namespace korvane {

namespace {

std::atomic<MessageTranslator> translator{nullptr};

} // namespace

void setMessageTranslator(MessageTranslator t)
{
    translator.store(t);
}

const char* message(const char* english)
{
    const MessageTranslator t = translator.load();
    const char* translated = t ? t(english) : nullptr;
    return translated ? translated : english;
}

std::string fillMessage(const char* pattern, std::initializer_list<std::string_view> arguments)
{
    const std::vector<std::string_view> args(arguments);
    const std::string_view text = message(pattern);
    std::string filled;
    filled.reserve(text.size() + 32);
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char next = k + 1 < text.size() ? text[k + 1] : '\0';
        if (text[k] == '%' && next == '%') {
            filled += '%';
            ++k;
        } else if (text[k] == '%' && next >= '1' && next <= '9' && static_cast<std::size_t>(next - '1') < args.size()) {
            filled += args[static_cast<std::size_t>(next - '1')];
            ++k;
        } else {
            filled += text[k];
        }
    }
    return filled;
}

std::string groupedDigits(std::uint64_t n)
{
    const std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t k = 0; k < digits.size(); ++k) {
        if (k > 0 && (digits.size() - k) % 3 == 0)
            out += ',';
        out += digits[k];
    }
    return out;
}

} // namespace korvane
