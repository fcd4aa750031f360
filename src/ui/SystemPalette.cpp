#include "ui/SystemPalette.h"

#include "platform/SystemColors.h"
#include "ui/Canvas.h"

#include <utility>

namespace {

// Qt's roles with the system colours that play them.
constexpr std::pair<QPalette::ColorRole, TColor> kRoles[] = {
    {QPalette::Window, clBtnFace},      {QPalette::WindowText, clWindowText},
    {QPalette::Base, clWindow},         {QPalette::AlternateBase, clWindow},
    {QPalette::Text, clWindowText},     {QPalette::PlaceholderText, clGrayText},
    {QPalette::Button, clBtnFace},      {QPalette::ButtonText, clBtnText},
    {QPalette::BrightText, clWhite},    {QPalette::Light, clBtnHighlight},
    {QPalette::Midlight, cl3DLight},    {QPalette::Mid, clBtnShadow},
    {QPalette::Dark, clBtnShadow},      {QPalette::Shadow, cl3DDkShadow},
    {QPalette::Highlight, clHighlight}, {QPalette::HighlightedText, clHighlightText},
    {QPalette::Link, clHighlight},      {QPalette::LinkVisited, clHighlight},
    {QPalette::ToolTipBase, clInfoBk},  {QPalette::ToolTipText, clInfoText},
};

constexpr QPalette::ColorRole kGreyWhenDisabled[] = {QPalette::WindowText, QPalette::Text,
                                                     QPalette::ButtonText};

} // namespace

QPalette SystemPalette() {
    QPalette palette;
    for (const auto& [role, color] : kRoles)
        palette.setColor(role, ToQColor(color));
    for (const QPalette::ColorRole role : kGreyWhenDisabled)
        palette.setColor(QPalette::Disabled, role, ToQColor(clGrayText));
    return palette;
}
