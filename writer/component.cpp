// The shared library's entry points: the office asks component_getFactory
// for each implementation named in the extension's .components file.
#include <cppuhelper/factory.hxx>
#include <cppuhelper/implementationentry.hxx>
#include <uno/environment.h>
#include <uno/lbnames.h>

#include "writer/services.h"

namespace varnoke::writer {
namespace {

using Context = css::uno::Reference<css::uno::XComponentContext>;

css::uno::Reference<css::uno::XInterface> SAL_CALL NewRecognizer(const Context& c) { return CreateRecognizer(c); }
css::uno::Reference<css::uno::XInterface> SAL_CALL NewAction(const Context& c) { return CreateAction(c); }
OUString SAL_CALL RecognizerName() { return ToOUString(kRecognizerImplementation); }
OUString SAL_CALL ActionName() { return ToOUString(kActionImplementation); }
css::uno::Sequence<OUString> SAL_CALL RecognizerServices() { return OneName(kRecognizerService); }
css::uno::Sequence<OUString> SAL_CALL ActionServices() { return OneName(kActionService); }

const cppu::ImplementationEntry kEntries[] = {
    {NewRecognizer, RecognizerName, RecognizerServices, cppu::createSingleComponentFactory, nullptr, 0},
    {NewAction, ActionName, ActionServices, cppu::createSingleComponentFactory, nullptr, 0},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0},
};

}  // namespace
}  // namespace varnoke::writer

extern "C" SAL_DLLPUBLIC_EXPORT void SAL_CALL component_getImplementationEnvironment(const char** envTypeName,
                                                                                     uno_Environment**) {
    *envTypeName = CPPU_CURRENT_LANGUAGE_BINDING_NAME;
}

extern "C" SAL_DLLPUBLIC_EXPORT void* SAL_CALL component_getFactory(const char* implementation, void* serviceManager,
                                                                    void* registryKey) {
    return cppu::component_getFactoryHelper(implementation, serviceManager, registryKey, varnoke::writer::kEntries);
}
