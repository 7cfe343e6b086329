// Writes the component's type library VarnokeST through oleaut32's
// ICreateTypeLib2, so that it refers to the host's SmartTagLib instead of
// holding copies of the host's interfaces:
//   make_typelib.exe win32|win64 SmartTagLib.tlb widl_varnoke.tlb OUT.tlb
// widl_varnoke.tlb is widl's compilation of component/varnoke.idl for the
// same pointer size; SmartTagLib.tlb is the host's library.
//
// Design: the six types are copied from widl's library rather than built
// from code, so the IDL stays the one description of every member, GUID and
// flag. Only what the IDL cannot say without widl copying host interfaces
// into our library is added here: each coclass's host interface
// (kHostInterfaces). References to host types are re-pointed at
// SmartTagLib.tlb, and IDispatch at stdole2.
//
// Wine's writer gets three things wrong, so the saved file is corrected in
// place (see fix_file) and then checked against widl's library:
//  - a win32 library written by a 64-bit process inherits IDispatch's
//    vtable size from the 64-bit stdole2, so its vtable offsets and sizes
//    come out for 8-byte pointers;
//  - records are stored with size 0, and interfaces with alignment 4;
//  - a reference to a type without a GUID (the host's IF_TYPE enum) is
//    stored as a reference to GUID_NULL, which a loader may resolve to any
//    GUID-less type or to none; it must name the type's index instead.
// The layout fields are taken from widl's file, which has them right.
#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "adapters/win32/com/com_ptr.h"

namespace {

using varnoke::com::com_ptr;
using varnoke::com::unique_bstr;

// The interface each coclass implements for the host, after its own.
struct HostInterface {
    const wchar_t* coclass;
    const wchar_t* host_interface;
};
constexpr HostInterface kHostInterfaces[] = {
    {L"STRecognizer", L"ISmartTagRecognizer"},
    {L"STAction", L"ISmartTagAction"},
};

struct Failure {
    std::string what;
    HRESULT hr;
};

void check(HRESULT hr, const std::string& what) {
    if (FAILED(hr)) throw Failure{what, hr};
}

void require(bool ok, const std::string& what) {
    if (!ok) throw Failure{what, E_FAIL};
}

std::string utf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
    s.resize(static_cast<size_t>(n - 1));
    return s;
}

// The writer's calls take non-const strings that they only read; a null
// BSTR is the empty string.
wchar_t* text(const unique_bstr& s) { return s.get() ? s.get() : const_cast<wchar_t*>(L""); }
bool empty(const unique_bstr& s) { return !s.get() || !*s.get(); }

std::wstring type_name(ITypeInfo* ti) {
    unique_bstr name;
    check(ti->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr), "type name");
    return text(name);
}

TLIBATTR lib_attr(ITypeLib* lib) {
    TLIBATTR* a = nullptr;
    check(lib->GetLibAttr(&a), "GetLibAttr");
    const TLIBATTR copy = *a;
    lib->ReleaseTLibAttr(a);
    return copy;
}

TYPEATTR type_attr(ITypeInfo* ti) {
    TYPEATTR* a = nullptr;
    check(ti->GetTypeAttr(&a), "GetTypeAttr");
    const TYPEATTR copy = *a;
    ti->ReleaseTypeAttr(a);
    return copy;
}

com_ptr<ITypeLib> load(const std::wstring& path) {
    com_ptr<ITypeLib> lib;
    check(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.put()), "loading " + utf8(path));
    return lib;
}

com_ptr<ITypeInfo> find_type(ITypeLib* lib, const std::wstring& name) {
    for (UINT i = 0, n = lib->GetTypeInfoCount(); i < n; ++i) {
        com_ptr<ITypeInfo> ti;
        check(lib->GetTypeInfo(i, ti.put()), "GetTypeInfo");
        if (type_name(ti.get()) == name) return ti;
    }
    throw Failure{"finding type " + utf8(name), TYPE_E_ELEMENTNOTFOUND};
}

// A dual interface is listed by its dispatch side; its members with their
// real signatures and vtable offsets are on the vtable side.
com_ptr<ITypeInfo> vtable_side(ITypeInfo* ti) {
    const TYPEATTR a = type_attr(ti);
    com_ptr<ITypeInfo> out;
    if (a.typekind == TKIND_DISPATCH && (a.wTypeFlags & TYPEFLAG_FDUAL)) {
        HREFTYPE href = 0;
        check(ti->GetRefTypeOfImplType(static_cast<UINT>(-1), &href), "vtable side of dual");
        check(ti->GetRefTypeInfo(href, out.put()), "vtable side of dual");
    } else {
        out = ti;  // takes its own reference
    }
    return out;
}

std::vector<unsigned char> read_file(const std::wstring& path) {
    FILE* f = _wfopen(path.c_str(), L"rb");
    require(f != nullptr, "opening " + utf8(path));
    std::vector<unsigned char> bytes;
    unsigned char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.insert(bytes.end(), buf, buf + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    require(ok, "reading " + utf8(path));
    return bytes;
}

void write_file(const std::wstring& path, const std::vector<unsigned char>& bytes) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    require(f != nullptr, "opening " + utf8(path));
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    require(std::fclose(f) == 0 && ok, "writing " + utf8(path));
}

// The fields of the MSFT type library format that this program reads and
// corrects, at the offsets oleaut32 reads them from.
constexpr uint32_t kImpByGuid = 0x10000;  // impinfo: oGuid is a GUID offset, not a type index

class MsftFile {
public:
    explicit MsftFile(std::vector<unsigned char> bytes) : d_(std::move(bytes)) {
        require(u32(0) == 0x5446534D, "not an MSFT type library");
        const uint32_t varflags = u32(0x14);
        segdir_ = 0x54 + 4 * static_cast<size_t>(type_count()) + ((varflags & 0x100) ? 4 : 0);
        require(u32(segdir_ + 12) == 0xF && u32(segdir_ + 16 + 12) == 0xF, "no segment directory");
    }

    uint32_t type_count() const { return u32(0x20); }
    size_t type_entry(uint32_t i) const { return segment(kTypeInfos) + 0x64 * static_cast<size_t>(i); }
    uint32_t funcs(uint32_t i) const { return u32(type_entry(i) + 0x18) & 0xFFFF; }
    uint32_t vars(uint32_t i) const { return u32(type_entry(i) + 0x18) >> 16; }

    // Function records come first, then field records.
    size_t member_record(uint32_t type, uint32_t member) const {
        const size_t aux = u32(type_entry(type) + 4);
        const size_t offsets = aux + 4 + u32(aux) + 8 * static_cast<size_t>(funcs(type) + vars(type));
        return aux + 4 + u32(offsets + 4 * static_cast<size_t>(member));
    }

    // An imported type as an HREFTYPE of this file names it: the HREFTYPE
    // of an import is its record's offset in the import table, plus 1
    // (plus 2 for "the other side of a dual interface").
    struct Import {
        TYPEKIND kind;
        bool by_guid;
        GUID guid;   // when by_guid
        UINT index;  // otherwise: the type's index in its library
        GUID library;
    };
    Import import_of(HREFTYPE href) const {
        require((href & 1) && (href & ~3u) / 12 < impinfo_count(), "an imported reference of widl's library");
        const size_t at = impinfo((href & ~3u) / 12);
        const uint32_t flags = u32(at), target = u32(at + 8);
        const bool by_guid = (flags & kImpByGuid) != 0;
        return {static_cast<TYPEKIND>(flags >> 24), by_guid, by_guid ? guid_at(target) : GUID_NULL, target,
                impfile_guid(u32(at + 4))};
    }

    size_t impinfo_count() const { return seg_length(kImpInfos) / 12; }
    size_t impinfo(size_t i) const { return segment(kImpInfos) + 12 * i; }
    GUID guid_at(uint32_t offset) const {
        const size_t at = segment(kGuids) + offset;
        bounds(at, sizeof(GUID));
        GUID g;
        std::memcpy(&g, &d_[at], sizeof g);
        return g;
    }
    // The library an import record names.
    GUID impfile_guid(uint32_t offset) const { return guid_at(u32(segment(kImpFiles) + offset)); }

    uint32_t u32(size_t at) const {
        bounds(at, 4);
        uint32_t v;
        std::memcpy(&v, &d_[at], 4);
        return v;
    }
    uint16_t u16(size_t at) const {
        bounds(at, 2);
        uint16_t v;
        std::memcpy(&v, &d_[at], 2);
        return v;
    }
    void set_u32(size_t at, uint32_t v) {
        bounds(at, 4);
        std::memcpy(&d_[at], &v, 4);
    }
    void set_u16(size_t at, uint16_t v) {
        bounds(at, 2);
        std::memcpy(&d_[at], &v, 2);
    }
    const std::vector<unsigned char>& bytes() const { return d_; }

private:
    enum Segment { kTypeInfos = 0, kImpInfos = 1, kImpFiles = 2, kGuids = 5 };
    std::vector<unsigned char> d_;
    size_t segdir_ = 0;

    size_t segment(Segment s) const { return u32(segdir_ + 16 * static_cast<size_t>(s)); }
    size_t seg_length(Segment s) const { return u32(segdir_ + 16 * static_cast<size_t>(s) + 4); }
    void bounds(size_t at, size_t n) const {
        require(at <= d_.size() && n <= d_.size() - at, "MSFT offset out of range");
    }
};

// An external type without a GUID that the new library refers to.
struct GuidlessRef {
    TYPEKIND kind;
    GUID library;
    UINT index;
    std::wstring name;
};

// Builds the new library's types from widl's, in widl's order.
class Copier {
public:
    Copier(ITypeLib* widl, const MsftFile& widl_file, ITypeLib* host, ITypeLib* stdole, ICreateTypeLib2* out)
        : widl_(widl),
          widl_file_(widl_file),
          host_(host),
          stdole_(stdole),
          out_(out),
          host_id_(lib_attr(host).guid),
          stdole_id_(lib_attr(stdole).guid) {}

    void run() {
        const TLIBATTR a = lib_attr(widl_);
        check(out_->SetGuid(a.guid), "SetGuid");
        check(out_->SetVersion(a.wMajorVerNum, a.wMinorVerNum), "SetVersion");
        check(out_->SetLcid(a.lcid), "SetLcid");
        // The loader adds "has a disk image" to every library it reads.
        check(out_->SetLibFlags(a.wLibFlags & ~LIBFLAG_FHASDISKIMAGE), "SetLibFlags");
        unique_bstr name, doc, helpfile;
        DWORD context = 0;
        check(widl_->GetDocumentation(-1, name.put(), doc.put(), &context, helpfile.put()), "library documentation");
        check(out_->SetName(text(name)), "SetName");
        if (!empty(doc)) check(out_->SetDocString(doc.get()), "SetDocString");
        if (!empty(helpfile)) check(out_->SetHelpFileName(helpfile.get()), "SetHelpFileName");
        if (context) check(out_->SetHelpContext(context), "SetHelpContext");

        // All types exist before any is filled in, so that they may refer
        // to each other whatever their order.
        for (UINT i = 0, n = widl_->GetTypeInfoCount(); i < n; ++i) {
            com_ptr<ITypeInfo> listed;
            check(widl_->GetTypeInfo(i, listed.put()), "GetTypeInfo");
            Type t{vtable_side(listed.get()), {}, {}};
            const std::wstring tn = type_name(listed.get());
            com_ptr<ICreateTypeInfo> created;
            check(
                out_->CreateTypeInfo(const_cast<wchar_t*>(tn.c_str()), type_attr(t.src.get()).typekind, created.put()),
                "CreateTypeInfo " + utf8(tn));
            check(created->QueryInterface(IID_ICreateTypeInfo2, t.out.put_void()), "ICreateTypeInfo2");
            check(created->QueryInterface(IID_ITypeInfo, t.out_info.put_void()), "ITypeInfo");
            own_[tn] = t.out_info.get();
            types_.push_back(std::move(t));
        }
        for (Type& t : types_) fill(t);
    }

    const std::vector<GuidlessRef>& guidless() const { return guidless_; }

private:
    struct Type {
        com_ptr<ITypeInfo> src;
        com_ptr<ICreateTypeInfo2> out;
        com_ptr<ITypeInfo> out_info;
    };

    ITypeLib* widl_;
    const MsftFile& widl_file_;
    ITypeLib* host_;
    ITypeLib* stdole_;
    ICreateTypeLib2* out_;
    GUID host_id_, stdole_id_;
    std::vector<Type> types_;
    std::map<std::wstring, ITypeInfo*> own_;
    std::vector<std::unique_ptr<TYPEDESC>> typedescs_;  // outlives AddFuncDesc/AddVarDesc
    std::vector<GuidlessRef> guidless_;

    HREFTYPE add_ref(ICreateTypeInfo2* out, ITypeInfo* target) {
        HREFTYPE href = 0;
        check(out->AddRefTypeInfo(target, &href), "AddRefTypeInfo " + utf8(type_name(target)));
        return href;
    }

    // Re-points a reference of widl's library at our own type, the host's
    // library or stdole2. Imported types are looked up in the libraries this
    // program was given, from widl's import table: asking oleaut32 would make
    // it search the registry and, failing that, load and register whatever
    // "SmartTagLib.tlb" its search path finds.
    HREFTYPE retarget(ICreateTypeInfo2* out, ITypeInfo* src, HREFTYPE href) {
        if (!(href & 1)) {
            com_ptr<ITypeInfo> ref;
            check(src->GetRefTypeInfo(href, ref.put()), "GetRefTypeInfo");
            const std::wstring n = type_name(ref.get());
            const auto it = own_.find(n);
            require(it != own_.end(), "finding our type " + utf8(n));
            return add_ref(out, it->second);
        }
        const MsftFile::Import imp = widl_file_.import_of(href);
        ITypeLib* lib = IsEqualGUID(imp.library, host_id_)     ? host_
                        : IsEqualGUID(imp.library, stdole_id_) ? stdole_
                                                               : nullptr;
        require(lib != nullptr, "a type imported from a library other than SmartTagLib and stdole2");
        com_ptr<ITypeInfo> target;
        if (imp.by_guid)
            check(lib->GetTypeInfoOfGuid(imp.guid, target.put()), "finding an imported type by GUID");
        else
            check(lib->GetTypeInfo(imp.index, target.put()), "finding an imported type by index");
        const TYPEATTR ta = type_attr(target.get());
        require(ta.typekind == imp.kind, "kind of imported type " + utf8(type_name(target.get())));
        // Only a dual interface has another side: a reference to that is
        // not something this library needs.
        require(!(href & 2) || !(ta.wTypeFlags & TYPEFLAG_FDUAL), "a reference to the other side of a dual interface");
        if (IsEqualGUID(ta.guid, GUID_NULL))
            note_guidless({ta.typekind, imp.library, imp.index, type_name(target.get())});
        return add_ref(out, target.get());
    }

    void note_guidless(const GuidlessRef& ref) {
        for (const GuidlessRef& g : guidless_) {
            if (g.name == ref.name) return;
            // Wine keys references by GUID and kind: two such types would
            // become one reference.
            require(g.kind != ref.kind,
                    "two GUID-less types of one kind (" + utf8(g.name) + ", " + utf8(ref.name) + ")");
        }
        guidless_.push_back(ref);
    }

    TYPEDESC copy(ICreateTypeInfo2* out, ITypeInfo* src, const TYPEDESC& t) {
        TYPEDESC c = t;
        switch (t.vt) {
            case VT_PTR:
            case VT_SAFEARRAY:
                typedescs_.push_back(std::make_unique<TYPEDESC>(copy(out, src, *t.lptdesc)));
                c.lptdesc = typedescs_.back().get();
                break;
            case VT_USERDEFINED: c.hreftype = retarget(out, src, t.hreftype); break;
            case VT_CARRAY: throw Failure{"fixed-size arrays are not supported", E_NOTIMPL};
            default: break;
        }
        return c;
    }

    void fill(Type& t) {
        ITypeInfo* src = t.src.get();
        ICreateTypeInfo2* out = t.out.get();
        const std::wstring n = type_name(src);
        const TYPEATTR attr = type_attr(src);

        check(out->SetGuid(attr.guid), "SetGuid " + utf8(n));
        check(out->SetVersion(attr.wMajorVerNum, attr.wMinorVerNum), "SetVersion");
        unique_bstr doc;
        DWORD context = 0;
        check(src->GetDocumentation(MEMBERID_NIL, nullptr, doc.put(), &context, nullptr), "type documentation");
        if (!empty(doc)) check(out->SetDocString(doc.get()), "SetDocString");
        if (context) check(out->SetHelpContext(context), "SetHelpContext");

        for (UINT i = 0; i < attr.cImplTypes; ++i) {
            HREFTYPE href = 0;
            check(src->GetRefTypeOfImplType(i, &href), "GetRefTypeOfImplType");
            INT flags = 0;
            check(src->GetImplTypeFlags(i, &flags), "GetImplTypeFlags");
            check(out->AddImplType(i, retarget(out, src, href)), "AddImplType " + utf8(n));
            if (attr.typekind == TKIND_COCLASS) check(out->SetImplTypeFlags(i, flags), "SetImplTypeFlags");
        }
        if (attr.typekind == TKIND_COCLASS) add_host_interface(out, n, attr.cImplTypes);

        for (UINT i = 0; i < attr.cFuncs; ++i) copy_func(src, out, i);
        for (UINT i = 0; i < attr.cVars; ++i) copy_var(src, out, i);

        check(out->SetTypeFlags(attr.wTypeFlags), "SetTypeFlags " + utf8(n));
        check(out->LayOut(), "LayOut " + utf8(n));
    }

    void add_host_interface(ICreateTypeInfo2* out, const std::wstring& coclass, UINT index) {
        for (const HostInterface& h : kHostInterfaces) {
            if (coclass != h.coclass) continue;
            com_ptr<ITypeInfo> host = find_type(host_, h.host_interface);
            check(out->AddImplType(index, add_ref(out, host.get())), "AddImplType " + utf8(h.host_interface));
            check(out->SetImplTypeFlags(index, 0), "SetImplTypeFlags");
        }
    }

    void copy_func(ITypeInfo* src, ICreateTypeInfo2* out, UINT index) {
        FUNCDESC* f = nullptr;
        check(src->GetFuncDesc(index, &f), "GetFuncDesc");
        FUNCDESC c = *f;
        c.oVft = 0;  // laid out by oleaut32, corrected from widl's file
        c.lprgscode = nullptr;
        c.cScodes = 0;
        std::vector<ELEMDESC> params(f->lprgelemdescParam, f->lprgelemdescParam + f->cParams);
        std::vector<BSTR> names(static_cast<size_t>(f->cParams) + 1, nullptr);
        UINT got = 0;
        unique_bstr doc;
        DWORD context = 0;
        HRESULT hr = S_OK;
        try {
            for (ELEMDESC& e : params) e.tdesc = copy(out, src, e.tdesc);
            c.lprgelemdescParam = params.data();
            c.elemdescFunc.tdesc = copy(out, src, f->elemdescFunc.tdesc);
        } catch (...) {
            src->ReleaseFuncDesc(f);
            throw;
        }
        hr = out->AddFuncDesc(index, &c);
        if (SUCCEEDED(hr)) hr = src->GetNames(f->memid, names.data(), static_cast<UINT>(names.size()), &got);
        if (SUCCEEDED(hr)) hr = out->SetFuncAndParamNames(index, names.data(), got);
        if (SUCCEEDED(hr)) hr = src->GetDocumentation(f->memid, nullptr, doc.put(), &context, nullptr);
        for (BSTR b : names) SysFreeString(b);
        src->ReleaseFuncDesc(f);
        check(hr, "copying function " + std::to_string(index));
        if (!empty(doc)) check(out->SetFuncDocString(index, doc.get()), "SetFuncDocString");
        if (context) check(out->SetFuncHelpContext(index, context), "SetFuncHelpContext");
    }

    void copy_var(ITypeInfo* src, ICreateTypeInfo2* out, UINT index) {
        VARDESC* v = nullptr;
        check(src->GetVarDesc(index, &v), "GetVarDesc");
        VARDESC c = *v;
        unique_bstr name, doc;
        DWORD context = 0;
        HRESULT hr = S_OK;
        try {
            c.elemdescVar.tdesc = copy(out, src, v->elemdescVar.tdesc);
        } catch (...) {
            src->ReleaseVarDesc(v);
            throw;
        }
        hr = out->AddVarDesc(index, &c);
        if (SUCCEEDED(hr)) hr = src->GetDocumentation(v->memid, name.put(), doc.put(), &context, nullptr);
        if (SUCCEEDED(hr)) hr = out->SetVarName(index, text(name));
        src->ReleaseVarDesc(v);
        check(hr, "copying field " + std::to_string(index));
        if (!empty(doc)) check(out->SetVarDocString(index, doc.get()), "SetVarDocString");
        if (context) check(out->SetVarHelpContext(index, context), "SetVarHelpContext");
    }
};

// Corrects what Wine's writer gets wrong (see the top of this file).
void fix_file(const std::wstring& out_path, const MsftFile& widl, const std::vector<GuidlessRef>& guidless) {
    MsftFile out(read_file(out_path));
    require(out.type_count() == widl.type_count(), "type count differs from widl's");
    for (uint32_t i = 0; i < out.type_count(); ++i) {
        const size_t o = out.type_entry(i), w = widl.type_entry(i);
        require(out.funcs(i) == widl.funcs(i) && out.vars(i) == widl.vars(i), "member counts differ from widl's");
        require((out.u32(o) & 0xF) == (widl.u32(w) & 0xF), "type kind differs from widl's");
        // Low half of the kind word: kind and alignment; the high half is
        // the type's index.
        out.set_u32(o, (out.u32(o) & 0xFFFF0000u) | (widl.u32(w) & 0xFFFFu));
        out.set_u16(o + 0x4E, widl.u16(w + 0x4E));  // vtable size
        out.set_u32(o + 0x50, widl.u32(w + 0x50));  // instance size
        for (uint32_t f = 0; f < out.funcs(i); ++f)
            out.set_u16(out.member_record(i, f) + 12, widl.u16(widl.member_record(i, f) + 12));  // vtable offset
    }

    size_t fixed = 0;
    for (size_t i = 0; i < out.impinfo_count(); ++i) {
        const size_t at = out.impinfo(i);
        const uint32_t flags = out.u32(at);
        if (!(flags & kImpByGuid) || !IsEqualGUID(out.guid_at(out.u32(at + 8)), GUID_NULL)) continue;
        const auto kind = static_cast<TYPEKIND>(flags >> 24);
        const GuidlessRef* match = nullptr;
        for (const GuidlessRef& g : guidless)
            if (g.kind == kind && IsEqualGUID(g.library, out.impfile_guid(out.u32(at + 4)))) match = &g;
        require(match != nullptr, "a reference to GUID_NULL that no copied type explains");
        out.set_u32(at, flags & ~kImpByGuid);
        out.set_u32(at + 8, match->index);
        ++fixed;
    }
    require(fixed == guidless.size(), "a GUID-less type's reference was not found in the written file");
    write_file(out_path, out.bytes());
}

// Every type of the written library, as oleaut32 reads it back, must have
// widl's layout. (Names and references are what the expected dump checks.)
void verify(const std::wstring& out_path, ITypeLib* widl) {
    com_ptr<ITypeLib> out = load(out_path);
    require(out->GetTypeInfoCount() == widl->GetTypeInfoCount(), "written type count");
    for (UINT i = 0; i < out->GetTypeInfoCount(); ++i) {
        com_ptr<ITypeInfo> listed_o, listed_w;
        check(out->GetTypeInfo(i, listed_o.put()), "GetTypeInfo");
        check(widl->GetTypeInfo(i, listed_w.put()), "GetTypeInfo");
        com_ptr<ITypeInfo> o = vtable_side(listed_o.get()), w = vtable_side(listed_w.get());
        const std::string n = utf8(type_name(o.get()));
        const TYPEATTR ao = type_attr(o.get()), aw = type_attr(w.get());
        require(ao.typekind == aw.typekind && ao.cbSizeVft == aw.cbSizeVft && ao.cbSizeInstance == aw.cbSizeInstance &&
                    ao.cbAlignment == aw.cbAlignment && ao.cFuncs == aw.cFuncs && ao.cVars == aw.cVars,
                "layout of " + n + " differs from widl's");
        for (UINT f = 0; f < ao.cFuncs; ++f) {
            FUNCDESC *fo = nullptr, *fw = nullptr;
            check(o->GetFuncDesc(f, &fo), "GetFuncDesc");
            check(w->GetFuncDesc(f, &fw), "GetFuncDesc");
            const bool same = fo->oVft == fw->oVft && fo->memid == fw->memid && fo->cParams == fw->cParams;
            o->ReleaseFuncDesc(fo);
            w->ReleaseFuncDesc(fw);
            require(same, "function " + std::to_string(f) + " of " + n + " differs from widl's");
        }
        for (UINT v = 0; v < ao.cVars; ++v) {
            VARDESC *vo = nullptr, *vw = nullptr;
            check(o->GetVarDesc(v, &vo), "GetVarDesc");
            check(w->GetVarDesc(v, &vw), "GetVarDesc");
            const bool same = vo->oInst == vw->oInst && vo->memid == vw->memid;
            o->ReleaseVarDesc(vo);
            w->ReleaseVarDesc(vw);
            require(same, "field " + std::to_string(v) + " of " + n + " differs from widl's");
        }
    }
}

std::wstring full_path(const wchar_t* p) {
    wchar_t buf[MAX_PATH];
    const DWORD n = GetFullPathNameW(p, MAX_PATH, buf, nullptr);
    require(n > 0 && n < MAX_PATH, "GetFullPathNameW");
    return buf;
}

void make(bool win32, const std::wstring& host_path, const std::wstring& widl_path, const std::wstring& out_path) {
    com_ptr<ITypeLib> host = load(host_path);
    com_ptr<ITypeLib> widl = load(widl_path);
    const MsftFile widl_file(read_file(widl_path));
    com_ptr<ITypeLib> stdole = load(L"stdole2.tlb");
    const SYSKIND syskind = win32 ? SYS_WIN32 : SYS_WIN64;
    require(lib_attr(widl.get()).syskind == syskind, "widl's library was built for the other pointer size");

    std::vector<GuidlessRef> guidless;
    {
        com_ptr<ICreateTypeLib2> out;
        check(CreateTypeLib2(syskind, out_path.c_str(), out.put()), "CreateTypeLib2");
        Copier copier(widl.get(), widl_file, host.get(), stdole.get(), out.get());
        copier.run();
        check(out->SaveAllChanges(), "SaveAllChanges");
        guidless = copier.guidless();
    }
    fix_file(out_path, widl_file, guidless);
    verify(out_path, widl.get());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5 || (std::wcscmp(argv[1], L"win32") != 0 && std::wcscmp(argv[1], L"win64") != 0)) {
        std::fprintf(stderr, "usage: make_typelib win32|win64 SmartTagLib.tlb widl_varnoke.tlb OUT.tlb\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "make_typelib: CoInitializeEx failed\n");
        return 1;
    }
    int rc = 0;
    std::wstring out_path;
    try {
        out_path = full_path(argv[4]);
        // Full paths: a bare name would be searched for beside this program.
        make(std::wcscmp(argv[1], L"win32") == 0, full_path(argv[2]), full_path(argv[3]), out_path);
    } catch (const Failure& f) {
        std::fprintf(stderr, "make_typelib: %s (0x%08lx)\n", f.what.c_str(), static_cast<unsigned long>(f.hr));
        rc = 1;
    }
    CoUninitialize();
    if (rc != 0 && !out_path.empty()) DeleteFileW(out_path.c_str());  // no half-made library for the build to pick up
    return rc;
}
