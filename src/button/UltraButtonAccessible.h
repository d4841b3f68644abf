#pragma once

namespace kestrune {

// Lets Qt's accessibility layer describe every UltraButton as a push button:
// its caption as it shows as the name, the tooltip as the description, its
// states and a press action. Safe to call more than once.
void InstallUltraButtonAccessibility();

}  // namespace kestrune
