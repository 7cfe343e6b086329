// The host's side of the smart-tag contract, as COM objects the test owns: a
// recording recognizer site, property bags and a target document object.
// Every member the component has no business calling records itself in
// Unexpected(); each test case asserts that list stays empty.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "adapters/win32/com/com_object.h"
#include "adapters/win32/com/com_ptr.h"
#include "adapters/win32/com/property_bag.h"
#include "smarttaglib.h"

namespace varnoke::wintest {

using com::com_ptr;

inline std::vector<std::string>& Unexpected() {
    static std::vector<std::string> calls;
    return calls;
}

inline std::wstring Text(BSTR s) { return s ? std::wstring(s, SysStringLen(s)) : std::wstring(); }

// One dual interface on the component's own reference counting and
// QueryInterface; IDispatch is never expected: a host object is called
// through its vtable.
template <class Derived, class I>
class Fake : public com::ComObject<Derived, com::Plain<I>> {
public:
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return Unexpect("GetTypeInfoCount"); }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return Unexpect("GetTypeInfo"); }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return Unexpect("GetIDsOfNames"); }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return Unexpect("Invoke");
    }

protected:
    HRESULT Unexpect(const char* member) {
        Unexpected().push_back(std::string(Derived::kName) + "::" + member);
        return E_NOTIMPL;
    }
};

template <class T, class... Args>
com_ptr<T> MakeFake(Args&&... args) {
    com_ptr<T> p;
    p.attach(new T(std::forward<Args>(args)...));
    return p;
}

// A property bag. A recognizer only writes to it and an action only reads
// it: any other call is unexpected. It keeps every write, in order, so that
// a second write of a key shows.
class FakeBag final : public com::BasicPropertyBag<Fake<FakeBag, ISmartTagProperties>> {
public:
    static constexpr const char* kName = "PropertyBag";
    enum class Use { recognizer, action };
    explicit FakeBag(Use use) : use_(use) {}

    std::vector<std::wstring> readKeys;
    bool failReads = false;
    bool failWrites = false;

    STDMETHODIMP get_Read(BSTR key, BSTR* value) override {
        if (use_ != Use::action) return Unexpect("Read");
        if (!value) return E_POINTER;
        *value = nullptr;
        readKeys.push_back(Text(key));
        if (failReads) return E_FAIL;
        return BasicPropertyBag::get_Read(key, value);
    }
    STDMETHODIMP Write(BSTR key, BSTR value) override {
        if (use_ != Use::recognizer) return Unexpect("Write");
        if (failWrites) return E_FAIL;
        properties.emplace_back(Text(key), Text(value));
        return S_OK;
    }
    STDMETHODIMP get_Count(int*) override { return Unexpect("Count"); }
    STDMETHODIMP get_KeyFromIndex(int, BSTR*) override { return Unexpect("KeyFromIndex"); }
    STDMETHODIMP get_ValueFromIndex(int, BSTR*) override { return Unexpect("ValueFromIndex"); }

private:
    Use use_;
};

struct Commit {
    std::wstring smartTagName;
    int start;
    int length;
    FakeBag* bag;  // one of the site's own bags, or null for a foreign one
    // What the bag held when committed: a host reads it then, not later.
    std::vector<std::pair<std::wstring, std::wstring>> properties;
};

// A recognizer site recording every call, with injectable host failures.
class RecordingSite final : public Fake<RecordingSite, ISmartTagRecognizerSite> {
public:
    static constexpr const char* kName = "RecognizerSite";

    int failBagNumber = 0;     // that GetNewPropertyBag call fails (1-based; 0: none)
    int nullBagNumber = 0;     // that GetNewPropertyBag call succeeds without a bag
    int failCommitNumber = 0;  // that CommitSmartTag call fails
    bool bagsFailWrites = false;

    int bagRequests = 0;
    int commitCalls = 0;
    std::vector<com_ptr<FakeBag>> bags;  // every bag handed out, in order
    std::vector<Commit> commits;         // the commits that succeeded, in order

    STDMETHODIMP GetNewPropertyBag(ISmartTagProperties** bag) override {
        if (!bag) return E_POINTER;
        *bag = nullptr;
        ++bagRequests;
        if (bagRequests == failBagNumber) return E_FAIL;
        if (bagRequests == nullBagNumber) return S_OK;
        auto created = MakeFake<FakeBag>(FakeBag::Use::recognizer);
        created->failWrites = bagsFailWrites;
        bags.push_back(created);
        return created->QueryInterface(IID_ISmartTagProperties, reinterpret_cast<void**>(bag));
    }
    STDMETHODIMP CommitSmartTag(BSTR name, int start, int length, ISmartTagProperties* properties) override {
        ++commitCalls;
        if (commitCalls == failCommitNumber) return E_FAIL;
        FakeBag* own = nullptr;
        for (const auto& b : bags)
            if (static_cast<ISmartTagProperties*>(b.get()) == properties) own = b.get();
        Commit commit{Text(name), start, length, own, {}};
        if (own) commit.properties = own->properties;
        commits.push_back(std::move(commit));
        return S_OK;
    }
};

// The document object handed to InvokeVerb; the component must not call it
// (the web query verb has no insertion here).
class FakeTarget final : public Fake<FakeTarget, IDispatch> {
public:
    static constexpr const char* kName = "Target";
};

}  // namespace varnoke::wintest
