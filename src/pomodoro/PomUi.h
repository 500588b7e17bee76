#pragma once
// The helpers moved to the UI kit; this name stays for code that still includes it.
#include "ui/UiKit.h"

namespace PomUi {
using namespace UiKit;
} // namespace PomUi
