#pragma once

// The plug-in's modal windows, as the bridge's cancel sees them.
namespace ModalWindows {

// Closes every visible modal window as its close box would (the plug-in
// reads that as the user's Cancel); answers how many were asked to close.
// Without GTK in use (no display) there are none.
int CloseAll();

}  // namespace ModalWindows
