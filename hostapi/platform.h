// The platform's adapters for programs that link the core directly (the
// command-line tool and the tests); the component builds its own.
#pragma once

#include <memory>

#include "hostapi/clock.h"
#include "hostapi/shell.h"
#include "hostapi/xml.h"

namespace varnoke::hostapi {

std::unique_ptr<IXmlDocumentFactory> NewXmlDocumentFactory();
// Opens addresses in the desktop's browser.
std::unique_ptr<IShell> NewDesktopShell();
// The system's local date and time.
std::unique_ptr<IClock> NewSystemClock();

}  // namespace varnoke::hostapi
