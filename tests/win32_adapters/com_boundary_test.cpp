// What a class shell's member hands its caller when its body throws: a
// small class on the component's own COM plumbing (adapters/win32/com),
// called through its interface pointer as a host calls the real ones.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "adapters/win32/com/boundary.h"
#include "adapters/win32/com/com_object.h"
#include "adapters/win32/com/com_ptr.h"
#include "adapters/win32/com/out_params.h"

namespace varnoke::test {

// The members' bodies throw what `thrown` names (Thrown below).
struct IThrowing : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Act(LONG thrown) = 0;
    // The text "usable" when nothing is thrown.
    virtual HRESULT STDMETHODCALLTYPE get_Text(LONG thrown, BSTR* text) = 0;
};

}  // namespace varnoke::test

__CRT_UUID_DECL(varnoke::test::IThrowing, 0x2c0e7cb9, 0x82ee, 0x4565, 0xb0, 0x81, 0x51, 0x97, 0xdc, 0xdb, 0x12, 0x26)

namespace varnoke::test {
namespace {

enum Thrown : LONG { nothing, bad_alloc, runtime_error, not_an_exception };

void Throw(LONG thrown) {
    switch (thrown) {
        case bad_alloc: throw std::bad_alloc();
        case runtime_error: throw std::runtime_error("thrown by the test");
        case not_an_exception: throw 42;
    }
}

class Throwing final : public com::ComObject<Throwing, com::Plain<IThrowing>> {
public:
    STDMETHODIMP Act(LONG thrown) override {
        return com::Boundary([&] {
            Throw(thrown);
            return S_OK;
        });
    }
    STDMETHODIMP get_Text(LONG thrown, BSTR* text) override {
        return com::OutString(text, [&] {
            Throw(thrown);
            return std::u16string(u"usable");
        });
    }
};

TEST(ComBoundary, EachKindOfExceptionBecomesItsHResultAndTheObjectStaysUsable) {
    const struct {
        const char* name;
        Thrown thrown;
        HRESULT hr;
    } rows[] = {
        {"std::bad_alloc", bad_alloc, E_OUTOFMEMORY},
        {"another std::exception", runtime_error, HRESULT_FROM_WIN32(com::kErrorUnhandledException)},
        {"no std::exception at all", not_an_exception, E_UNEXPECTED},
    };
    const long objects = com::ModuleCounts::objects;
    com::com_ptr<IThrowing> object;
    ASSERT_EQ(Throwing::CreateInstance(__uuidof(IThrowing), object.put_void()), S_OK);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(object->Act(row.thrown), row.hr);
        BSTR text = SysAllocString(L"stale");
        BSTR const stale = text;
        EXPECT_EQ(object->get_Text(row.thrown, &text), row.hr);
        EXPECT_EQ(text, nullptr);  // nothing half made handed out
        SysFreeString(stale);

        // Usable afterwards: the next calls succeed, and the references
        // held are only ours.
        EXPECT_EQ(object->Act(nothing), S_OK);
        com::unique_bstr usable;
        EXPECT_EQ(object->get_Text(nothing, usable.put()), S_OK);
        EXPECT_EQ(com::View(usable.get()), u"usable");
        EXPECT_EQ(object->AddRef(), 2u);
        EXPECT_EQ(object->Release(), 1u);
    }
    object.reset();
    EXPECT_EQ(com::ModuleCounts::objects, objects);  // released once, destroyed once
}

}  // namespace
}  // namespace varnoke::test
