// The extension's two services, created by the office through
// component_getFactory (component.cpp).
#pragma once

#include <com/sun/star/uno/Sequence.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/uno/XInterface.hpp>
#include <rtl/ustring.hxx>

#include "writer/uno_ports.h"

namespace varnoke::writer {

namespace css = com::sun::star;
using rtl::OUString;

inline constexpr char16_t kRecognizerImplementation[] = u"varnoke.writer.StockRecognizer";
inline constexpr char16_t kRecognizerService[] = u"com.sun.star.smarttags.SmartTagRecognizer";
inline constexpr char16_t kActionImplementation[] = u"varnoke.writer.StockActions";
inline constexpr char16_t kActionService[] = u"com.sun.star.smarttags.SmartTagAction";

// The application name the office passes, which the verbs are offered for.
inline constexpr char16_t kWriterApplication[] = u"Writer";

css::uno::Reference<css::uno::XInterface> CreateRecognizer(const css::uno::Reference<css::uno::XComponentContext>&);
css::uno::Reference<css::uno::XInterface> CreateAction(const css::uno::Reference<css::uno::XComponentContext>&);

}  // namespace varnoke::writer
