#include "ZelvaneMac/Actions/TagColors.hpp"

#include "ZelvaneMac/Core/Text/Localization.hpp"

namespace zelvane {

const std::vector<TagColor>& tagColors() {
    static const std::vector<TagColor> colors = [] {
        struct Entry { const char* name; QRgb rgb; };
        static constexpr Entry entries[] = {
            {textKey("Red"), qRgb(0xe0, 0x1b, 0x24)},    {textKey("Orange"), qRgb(0xff, 0x78, 0x00)},
            {textKey("Yellow"), qRgb(0xf6, 0xd3, 0x2d)}, {textKey("Green"), qRgb(0x33, 0xd1, 0x7a)},
            {textKey("Blue"), qRgb(0x35, 0x84, 0xe4)},   {textKey("Purple"), qRgb(0x91, 0x41, 0xac)},
            {textKey("Gray"), qRgb(0x9a, 0x99, 0x96)},
        };
        std::vector<TagColor> out;
        for (const auto& e : entries) out.push_back({e.name, localized(e.name), QColor(e.rgb)});
        return out;
    }();
    return colors;
}

}  // namespace zelvane
