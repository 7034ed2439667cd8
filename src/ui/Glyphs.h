// The program's own button glyphs and its icon, drawn from SVG sources that are
// compiled into the program.
#pragma once

#include <QIcon>
#include <QString>

namespace kestrin {

// Names of the glyphs the program carries.
namespace glyph {
inline constexpr const char* File = "file";
inline constexpr const char* Connect = "connect";
inline constexpr const char* Options = "options";
inline constexpr const char* Info = "info";
inline constexpr const char* Exit = "exit";
inline constexpr const char* Write = "write";
inline constexpr const char* Reset = "reset";
inline constexpr const char* Hex = "hex";
inline constexpr const char* Program = "kestrin";  // the program's icon
}  // namespace glyph

// The glyph as an icon with pixmaps for the usual sizes; a null icon for an
// unknown name. Rendered here rather than by an icon-engine plugin, so that a
// system without the SVG plugin still shows every glyph.
QIcon Glyph(const QString& name);

}  // namespace kestrin
