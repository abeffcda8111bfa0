#include "Base/DialogResource.h"

#include <iterator>

namespace {
using K = ControlKind;
namespace od = options_dialog;

constexpr DialogControl kOptionsControls[] = {
    {od::kOk, "OK", K::DefaultPushButton, false, true, 77, 155, 50, 14},
    {od::k640x480, "640x480", K::AutoRadioButton, true, false, 7, 20, 43, 10},
    {od::k800x600, "800x600", K::AutoRadioButton, false, false, 54, 20, 43, 10},
    {od::k1024x768, "1024x768", K::AutoRadioButton, false, false, 103, 20, 47, 10},
    {od::k16Bpp, "16 Bpp", K::AutoRadioButton, true, false, 7, 50, 39, 10},
    {od::k32Bpp, "32 Bpp", K::AutoRadioButton, false, false, 53, 49, 39, 10},
    {od::kFullscreen, "Fullscreen", K::AutoCheckBox, false, true, 5, 157, 50, 11},
    {od::kDepth8, "8 Bit", K::AutoRadioButton, true, false, 7, 78, 30, 10},
    {od::kDepth16, "16 bit", K::AutoRadioButton, false, false, 53, 78, 33, 10},
    {od::kDepth24, "24 bit", K::AutoRadioButton, false, false, 102, 78, 33, 10},
    {od::kDepth32, "32 bit", K::AutoRadioButton, false, true, 146, 78, 33, 10},
    {od::kStencil8, "8 Bit", K::AutoRadioButton, true, false, 7, 130, 30, 10},
    {od::kStencil16, "16 Bit", K::AutoRadioButton, false, false, 53, 130, 34, 10},
    {od::kStencil24, "24 bit", K::AutoRadioButton, false, false, 101, 130, 33, 10},
    {od::kStencil32, "32 bit", K::AutoRadioButton, false, false, 145, 130, 33, 10},
    {kNoControlId, "Resolution", K::GroupBox, false, false, 0, 10, 190, 25},
    {kNoControlId, "Color Depth", K::GroupBox, false, false, 0, 40, 190, 25},
    {kNoControlId, "Z-Buffer (16-bit recommended)", K::GroupBox, false, false, 0, 69, 190, 25},
    {kNoControlId, "Stencil Buffer", K::GroupBox, false, false, 0, 120, 190, 25},
    {od::kCancel, "Cancel", K::PushButton, false, true, 135, 155, 50, 14},
    {od::kStencilOff, "Turn off Stencil buffer (recommended)", K::AutoCheckBox, false, true, 7, 100, 142, 13},
};

constexpr DialogResource kOptionsDialog = {
    od::kResource, "Options", 192, 175, "MS Sans Serif", 8, kOptionsControls, static_cast<int>(std::size(kOptionsControls)),
};
}  // namespace

const DialogResource* findDialogResource(int id) { return id == kOptionsDialog.id ? &kOptionsDialog : nullptr; }
