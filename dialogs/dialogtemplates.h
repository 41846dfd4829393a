#pragma once
// The dialog templates of the file dialogs, resources of the program
// (RT_DIALOG) that the system file dialog extends itself with: a child
// dialog in the 8-point "Helv" font whose static control 1119 marks where
// the system's own controls go.
//   IDD_VXTEMPLATE   443 x 168, control at 2, 4,  278 x 145: normal or tall preview
//   IDD_VXTEMPLATE2  543 x 168, control at 2, 4,  278 x 145: large preview
//   IDD_VXTEMPLATE1  288 x 168, control at 10, 4, 270 x 145: save dialog without preview
// (sizes in dialog units).

// The id of the control that marks the system controls' place.
constexpr int VXStc32 = 1119;

// Registers the three templates (the dialogs library's start-up does).
void VXRegisterFileDialogTemplates();
