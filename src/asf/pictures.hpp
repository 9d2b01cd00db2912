#pragma once

#include "asf/names.hpp"

namespace asfinspect::asf {

// The picture types of ID3v2's attached pictures, which WM/Picture shares.
inline constexpr EnumName kPictureTypes[] = {
    {0, "Other"},
    {1, "32x32 pixels file icon"},
    {2, "Other file icon"},
    {3, "Cover (front)"},
    {4, "Cover (back)"},
    {5, "Leaflet page"},
    {6, "Media"},
    {7, "Lead artist"},
    {8, "Artist"},
    {9, "Conductor"},
    {10, "Band"},
    {11, "Composer"},
    {12, "Lyricist"},
    {13, "Recording location"},
    {14, "During recording"},
    {15, "During performance"},
    {16, "Movie or video screen capture"},
    {17, "A bright coloured fish"},
    {18, "Illustration"},
    {19, "Band logotype"},
    {20, "Publisher logotype"},
};
}  // namespace asfinspect::asf
