#include "platform/ui/messagebox.h"

std::string ShownPart(const std::string &text)
{
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // A UTF-8 character begins at every byte but a continuation byte.
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && characters++ == ShownCharacters)
            return text.substr(0, i) + "...";
    }
    return text;
}
