// Prints a type library as deterministic text so that a build can be diffed
// against a reviewed expectation:
//   dump_typelib.exe FILE [IMPORTED.tlb...]
// FILE is a .tlb, or a DLL/EXE with TYPELIB resource 1. Each IMPORTED.tlb is
// loaded first so that references into it resolve to that file: otherwise
// oleaut32 looks the library up in the registry and, failing that, loads it
// by its bare name from the search path and registers it as a side effect.
// First the library as oleaut32 presents it, then the layout as stored in the
// file. Nothing that depends on where the file lies is printed, so a .tlb and
// a DLL embedding it dump identically.
#include <windows.h>
#include <oleauto.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "adapters/win32/com/com_ptr.h"

namespace {

using varnoke::com::com_ptr;
using varnoke::com::unique_bstr;

struct Failure {
    std::string what;
    HRESULT hr;
};

void check(HRESULT hr, const std::string& what) {
    if (FAILED(hr)) throw Failure{what, hr};
}

std::string utf8(const wchar_t* w) {
    if (!w || !*w) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
    s.resize(static_cast<size_t>(n - 1));
    return s;
}

std::string hex(unsigned long v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%lx", v);
    return buf;
}

std::string guid(const GUID& g) {
    wchar_t buf[40];
    StringFromGUID2(g, buf, 40);
    return utf8(buf);
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

struct Flag {
    unsigned value;
    const char* name;
};

// Names the set bits; bits without a name are printed in hex so nothing hides.
std::string flags(unsigned v, std::initializer_list<Flag> known) {
    std::string out;
    for (const Flag& f : known) {
        if (v & f.value) {
            out += (out.empty() ? "" : "|");
            out += f.name;
            v &= ~f.value;
        }
    }
    if (v) out += (out.empty() ? "" : "|") + hex(v);
    return out.empty() ? "0" : out;
}

std::string type_flags(unsigned v) {
    return flags(v, {{TYPEFLAG_FAPPOBJECT, "FAPPOBJECT"},
                     {TYPEFLAG_FCANCREATE, "FCANCREATE"},
                     {TYPEFLAG_FLICENSED, "FLICENSED"},
                     {TYPEFLAG_FPREDECLID, "FPREDECLID"},
                     {TYPEFLAG_FHIDDEN, "FHIDDEN"},
                     {TYPEFLAG_FCONTROL, "FCONTROL"},
                     {TYPEFLAG_FDUAL, "FDUAL"},
                     {TYPEFLAG_FNONEXTENSIBLE, "FNONEXTENSIBLE"},
                     {TYPEFLAG_FOLEAUTOMATION, "FOLEAUTOMATION"},
                     {TYPEFLAG_FRESTRICTED, "FRESTRICTED"},
                     {TYPEFLAG_FAGGREGATABLE, "FAGGREGATABLE"},
                     {TYPEFLAG_FREPLACEABLE, "FREPLACEABLE"},
                     {TYPEFLAG_FDISPATCHABLE, "FDISPATCHABLE"},
                     {TYPEFLAG_FREVERSEBIND, "FREVERSEBIND"},
                     {TYPEFLAG_FPROXY, "FPROXY"}});
}

const char* kind_name(TYPEKIND k) {
    switch (k) {
        case TKIND_ENUM: return "enum";
        case TKIND_RECORD: return "record";
        case TKIND_MODULE: return "module";
        case TKIND_INTERFACE: return "interface";
        case TKIND_DISPATCH: return "dispinterface";
        case TKIND_COCLASS: return "coclass";
        case TKIND_ALIAS: return "alias";
        case TKIND_UNION: return "union";
        default: return "?";
    }
}

const char* syskind_name(SYSKIND s) {
    switch (s) {
        case SYS_WIN16: return "SYS_WIN16";
        case SYS_WIN32: return "SYS_WIN32";
        case SYS_MAC: return "SYS_MAC";
        case SYS_WIN64: return "SYS_WIN64";
        default: return "?";
    }
}

std::string vt_name(VARTYPE vt) {
    static const std::map<VARTYPE, const char*> names = {
        {VT_EMPTY, "VT_EMPTY"},
        {VT_NULL, "VT_NULL"},
        {VT_I2, "VT_I2"},
        {VT_I4, "VT_I4"},
        {VT_R4, "VT_R4"},
        {VT_R8, "VT_R8"},
        {VT_CY, "VT_CY"},
        {VT_DATE, "VT_DATE"},
        {VT_BSTR, "VT_BSTR"},
        {VT_DISPATCH, "VT_DISPATCH"},
        {VT_ERROR, "VT_ERROR"},
        {VT_BOOL, "VT_BOOL"},
        {VT_VARIANT, "VT_VARIANT"},
        {VT_UNKNOWN, "VT_UNKNOWN"},
        {VT_DECIMAL, "VT_DECIMAL"},
        {VT_I1, "VT_I1"},
        {VT_UI1, "VT_UI1"},
        {VT_UI2, "VT_UI2"},
        {VT_UI4, "VT_UI4"},
        {VT_I8, "VT_I8"},
        {VT_UI8, "VT_UI8"},
        {VT_INT, "VT_INT"},
        {VT_UINT, "VT_UINT"},
        {VT_VOID, "VT_VOID"},
        {VT_HRESULT, "VT_HRESULT"},
        {VT_PTR, "VT_PTR"},
        {VT_SAFEARRAY, "VT_SAFEARRAY"},
        {VT_CARRAY, "VT_CARRAY"},
        {VT_USERDEFINED, "VT_USERDEFINED"},
        {VT_LPSTR, "VT_LPSTR"},
        {VT_LPWSTR, "VT_LPWSTR"},
        {VT_INT_PTR, "VT_INT_PTR"},
        {VT_UINT_PTR, "VT_UINT_PTR"},
    };
    const auto it = names.find(vt);
    return it != names.end() ? it->second : hex(vt);
}

struct LibId {
    std::string name, libid;
    unsigned major = 0, minor = 0;
    std::string text() const { return name + " " + libid + " " + std::to_string(major) + "." + std::to_string(minor); }
};

LibId lib_id(ITypeLib* lib) {
    LibId id;
    unique_bstr name;
    check(lib->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr), "library name");
    TLIBATTR* a = nullptr;
    check(lib->GetLibAttr(&a), "GetLibAttr");
    id.name = utf8(name.get());
    id.libid = guid(a->guid);
    id.major = a->wMajorVerNum;
    id.minor = a->wMinorVerNum;
    lib->ReleaseTLibAttr(a);
    return id;
}

class Dumper {
public:
    explicit Dumper(ITypeLib* lib) : lib_(lib), self_(lib_id(lib).libid) {}

    void run() {
        dump_library();
        const UINT count = lib_->GetTypeInfoCount();
        std::printf("types %u\n", count);
        for (UINT i = 0; i < count; ++i) {
            com_ptr<ITypeInfo> ti;
            check(lib_->GetTypeInfo(i, ti.put()), "GetTypeInfo");
            TYPEKIND listed;
            check(lib_->GetTypeInfoType(i, &listed), "GetTypeInfoType");
            std::printf("\n[%u] %s\n", i, name_of(ti.get()).c_str());
            std::printf("  listed as %s\n", kind_name(listed));
            dump_type(ti.get(), "  ");
        }
        std::printf("\nreferenced libraries %zu\n", external_.size());
        for (const auto& [libid, text] : external_) std::printf("  %s\n", text.c_str());
    }

private:
    ITypeLib* lib_;
    std::string self_;
    std::map<std::string, std::string> external_;  // LIBID -> description, sorted

    void dump_library() {
        TLIBATTR* a = nullptr;
        check(lib_->GetLibAttr(&a), "GetLibAttr");
        unique_bstr name, doc, helpfile;
        DWORD context = 0;
        check(lib_->GetDocumentation(-1, name.put(), doc.put(), &context, helpfile.put()), "library documentation");
        std::printf("library %s\n", utf8(name.get()).c_str());
        std::printf("  libid %s\n", guid(a->guid).c_str());
        std::printf("  version %u.%u\n", a->wMajorVerNum, a->wMinorVerNum);
        std::printf("  lcid %s\n", hex(a->lcid).c_str());
        std::printf("  syskind %s\n", syskind_name(a->syskind));
        std::printf("  libflags %s\n", hex(a->wLibFlags).c_str());
        std::printf("  doc %s helpcontext %lu helpfile %s\n", quoted(utf8(doc.get())).c_str(), context,
                    quoted(utf8(helpfile.get())).c_str());
        if ((a->syskind == SYS_WIN64) != (sizeof(void*) == 8))
            std::printf(
                "  (loaded with %zu-byte pointers: function offsets below are scaled to them;"
                " the stored ones are at the end)\n",
                sizeof(void*));
        lib_->ReleaseTLibAttr(a);
    }

    static std::string name_of(ITypeInfo* ti, MEMBERID id = MEMBERID_NIL) {
        unique_bstr name;
        check(ti->GetDocumentation(id, name.put(), nullptr, nullptr, nullptr), "type name");
        return utf8(name.get());
    }

    // "Name (kind) in Library {LIBID} maj.min"; records external libraries.
    std::string describe_ref(ITypeInfo* ti) {
        com_ptr<ITypeLib> owner;
        UINT index = 0;
        check(ti->GetContainingTypeLib(owner.put(), &index), "GetContainingTypeLib");
        const LibId id = lib_id(owner.get());
        if (id.libid != self_) external_[id.libid] = id.text();
        TYPEATTR* a = nullptr;
        check(ti->GetTypeAttr(&a), "GetTypeAttr");
        const std::string out = name_of(ti) + " (" + kind_name(a->typekind) + " " + guid(a->guid) + ") in " +
                                (id.libid == self_ ? std::string("this library") : id.name);
        ti->ReleaseTypeAttr(a);
        return out;
    }

    std::string ref_name(ITypeInfo* from, HREFTYPE href) {
        com_ptr<ITypeInfo> ref;
        const HRESULT hr = from->GetRefTypeInfo(href, ref.put());
        if (FAILED(hr)) return "<unresolved " + hex(static_cast<unsigned long>(hr)) + ">";
        return describe_ref(ref.get());
    }

    std::string typedesc(ITypeInfo* ti, const TYPEDESC& t) {
        switch (t.vt) {
            case VT_PTR: return "VT_PTR(" + typedesc(ti, *t.lptdesc) + ")";
            case VT_SAFEARRAY: return "VT_SAFEARRAY(" + typedesc(ti, *t.lptdesc) + ")";
            case VT_CARRAY: {
                std::string dims;
                for (USHORT i = 0; i < t.lpadesc->cDims; ++i)
                    dims += "[" + std::to_string(t.lpadesc->rgbounds[i].cElements) + "]";
                return "VT_CARRAY" + dims + "(" + typedesc(ti, t.lpadesc->tdescElem) + ")";
            }
            case VT_USERDEFINED: return "VT_USERDEFINED(" + ref_name(ti, t.hreftype) + ")";
            default: return vt_name(t.vt);
        }
    }

    static std::string param_flags(USHORT f) {
        return flags(f, {{PARAMFLAG_FIN, "in"},
                         {PARAMFLAG_FOUT, "out"},
                         {PARAMFLAG_FLCID, "lcid"},
                         {PARAMFLAG_FRETVAL, "retval"},
                         {PARAMFLAG_FOPT, "optional"},
                         {PARAMFLAG_FHASDEFAULT, "hasdefault"},
                         {PARAMFLAG_FHASCUSTDATA, "hascustdata"}});
    }

    static const char* invkind(INVOKEKIND k) {
        switch (k) {
            case INVOKE_FUNC: return "func";
            case INVOKE_PROPERTYGET: return "propget";
            case INVOKE_PROPERTYPUT: return "propput";
            case INVOKE_PROPERTYPUTREF: return "propputref";
            default: return "?";
        }
    }

    static const char* funckind(FUNCKIND k) {
        switch (k) {
            case FUNC_VIRTUAL: return "virtual";
            case FUNC_PUREVIRTUAL: return "purevirtual";
            case FUNC_NONVIRTUAL: return "nonvirtual";
            case FUNC_STATIC: return "static";
            case FUNC_DISPATCH: return "dispatch";
            default: return "?";
        }
    }

    static const char* callconv(CALLCONV c) {
        switch (c) {
            case CC_CDECL: return "cdecl";
            case CC_PASCAL: return "pascal";
            case CC_STDCALL: return "stdcall";
            case CC_SYSCALL: return "syscall";
            default: return "?";
        }
    }

    void dump_type(ITypeInfo* ti, const std::string& in) {
        TYPEATTR* a = nullptr;
        check(ti->GetTypeAttr(&a), "GetTypeAttr");
        unique_bstr doc, helpfile;
        DWORD context = 0;
        check(ti->GetDocumentation(MEMBERID_NIL, nullptr, doc.put(), &context, helpfile.put()), "type documentation");
        std::printf("%skind %s\n", in.c_str(), kind_name(a->typekind));
        std::printf("%sguid %s\n", in.c_str(), guid(a->guid).c_str());
        std::printf("%sflags %s\n", in.c_str(), type_flags(a->wTypeFlags).c_str());
        std::printf("%sversion %u.%u lcid %s\n", in.c_str(), a->wMajorVerNum, a->wMinorVerNum, hex(a->lcid).c_str());
        std::printf("%sdoc %s helpcontext %lu helpfile %s\n", in.c_str(), quoted(utf8(doc.get())).c_str(), context,
                    quoted(utf8(helpfile.get())).c_str());
        std::printf("%ssize instance %lu alignment %u vtable %u\n", in.c_str(), a->cbSizeInstance, a->cbAlignment,
                    a->cbSizeVft);
        if (a->typekind == TKIND_ALIAS) std::printf("%saliases %s\n", in.c_str(), typedesc(ti, a->tdescAlias).c_str());

        std::printf("%simplemented %u\n", in.c_str(), a->cImplTypes);
        for (UINT i = 0; i < a->cImplTypes; ++i) {
            HREFTYPE href = 0;
            check(ti->GetRefTypeOfImplType(i, &href), "GetRefTypeOfImplType");
            INT implflags = 0;
            check(ti->GetImplTypeFlags(i, &implflags), "GetImplTypeFlags");
            std::printf("%s  [%u] %s flags %s\n", in.c_str(), i, ref_name(ti, href).c_str(),
                        flags(static_cast<unsigned>(implflags), {{IMPLTYPEFLAG_FDEFAULT, "FDEFAULT"},
                                                                 {IMPLTYPEFLAG_FSOURCE, "FSOURCE"},
                                                                 {IMPLTYPEFLAG_FRESTRICTED, "FRESTRICTED"},
                                                                 {IMPLTYPEFLAG_FDEFAULTVTABLE, "FDEFAULTVTABLE"}})
                            .c_str());
        }

        // A dual interface is listed by its dispatch side, which the loader
        // derives from the vtable side: its members are shown there.
        const bool dual_dispatch = a->typekind == TKIND_DISPATCH && (a->wTypeFlags & TYPEFLAG_FDUAL);
        std::printf("%sfunctions %u%s\n", in.c_str(), a->cFuncs, dual_dispatch ? " (see the vtable side)" : "");
        for (UINT i = 0; !dual_dispatch && i < a->cFuncs; ++i) dump_func(ti, i, in + "  ");
        std::printf("%sfields %u\n", in.c_str(), a->cVars);
        for (UINT i = 0; i < a->cVars; ++i) dump_var(ti, i, in + "  ");
        ti->ReleaseTypeAttr(a);
        if (dual_dispatch) {
            HREFTYPE href = 0;
            check(ti->GetRefTypeOfImplType(static_cast<UINT>(-1), &href), "vtable side of dual");
            com_ptr<ITypeInfo> vt;
            check(ti->GetRefTypeInfo(href, vt.put()), "vtable side of dual");
            std::printf("%svtable side %s\n", in.c_str(), name_of(vt.get()).c_str());
            dump_type(vt.get(), in + "  ");
        }
    }

    void dump_func(ITypeInfo* ti, UINT index, const std::string& in) {
        FUNCDESC* f = nullptr;
        check(ti->GetFuncDesc(index, &f), "GetFuncDesc");
        std::vector<BSTR> names(static_cast<size_t>(f->cParams) + 1, nullptr);
        UINT got = 0;
        check(ti->GetNames(f->memid, names.data(), static_cast<UINT>(names.size()), &got), "GetNames");
        unique_bstr doc, helpfile;
        DWORD context = 0;
        check(ti->GetDocumentation(f->memid, nullptr, doc.put(), &context, helpfile.put()), "function documentation");
        std::printf("%s%s memid %s %s %s %s oVft %d\n", in.c_str(), utf8(names[0]).c_str(),
                    hex(static_cast<unsigned long>(f->memid)).c_str(), invkind(f->invkind), funckind(f->funckind),
                    callconv(f->callconv), f->oVft);
        std::printf("%s  flags %s params %d optional %d scodes %d doc %s helpcontext %lu\n", in.c_str(),
                    flags(f->wFuncFlags, {{FUNCFLAG_FRESTRICTED, "FRESTRICTED"},
                                          {FUNCFLAG_FSOURCE, "FSOURCE"},
                                          {FUNCFLAG_FBINDABLE, "FBINDABLE"},
                                          {FUNCFLAG_FREQUESTEDIT, "FREQUESTEDIT"},
                                          {FUNCFLAG_FDISPLAYBIND, "FDISPLAYBIND"},
                                          {FUNCFLAG_FDEFAULTBIND, "FDEFAULTBIND"},
                                          {FUNCFLAG_FHIDDEN, "FHIDDEN"},
                                          {FUNCFLAG_FUSESGETLASTERROR, "FUSESGETLASTERROR"},
                                          {FUNCFLAG_FDEFAULTCOLLELEM, "FDEFAULTCOLLELEM"},
                                          {FUNCFLAG_FUIDEFAULT, "FUIDEFAULT"},
                                          {FUNCFLAG_FNONBROWSABLE, "FNONBROWSABLE"},
                                          {FUNCFLAG_FREPLACEABLE, "FREPLACEABLE"},
                                          {FUNCFLAG_FIMMEDIATEBIND, "FIMMEDIATEBIND"}})
                        .c_str(),
                    f->cParams, f->cParamsOpt, f->cScodes, quoted(utf8(doc.get())).c_str(), context);
        std::printf("%s  returns %s\n", in.c_str(), typedesc(ti, f->elemdescFunc.tdesc).c_str());
        for (SHORT p = 0; p < f->cParams; ++p) {
            const ELEMDESC& e = f->lprgelemdescParam[p];
            const std::string pname = static_cast<UINT>(p) + 1 < got ? utf8(names[p + 1]) : "<unnamed>";
            std::printf("%s  param %s [%s] %s\n", in.c_str(), pname.c_str(),
                        param_flags(e.paramdesc.wParamFlags).c_str(), typedesc(ti, e.tdesc).c_str());
        }
        for (BSTR n : names) SysFreeString(n);
        ti->ReleaseFuncDesc(f);
    }

    void dump_var(ITypeInfo* ti, UINT index, const std::string& in) {
        VARDESC* v = nullptr;
        check(ti->GetVarDesc(index, &v), "GetVarDesc");
        std::printf("%s%s memid %s", in.c_str(), name_of(ti, v->memid).c_str(),
                    hex(static_cast<unsigned long>(v->memid)).c_str());
        if (v->varkind == VAR_PERINSTANCE)
            std::printf(" offset %lu", v->oInst);
        else
            std::printf(" varkind %d", v->varkind);
        std::printf(" flags %s %s\n", hex(v->wVarFlags).c_str(), typedesc(ti, v->elemdescVar.tdesc).c_str());
        ti->ReleaseVarDesc(v);
    }
};

// A bare name would be searched for beside this program first.
std::wstring full_path(const wchar_t* p) {
    wchar_t buf[MAX_PATH];
    const DWORD n = GetFullPathNameW(p, MAX_PATH, buf, nullptr);
    if (n == 0 || n >= MAX_PATH) throw Failure{"GetFullPathNameW", E_FAIL};
    return buf;
}

// The library's bytes: the file itself, or a module's TYPELIB resource 1,
// the one LoadTypeLibEx reads from a module path without an index.
std::vector<unsigned char> library_bytes(const wchar_t* path) {
    FILE* f = _wfopen(path, L"rb");
    if (!f) throw Failure{"opening the file", E_FAIL};
    std::vector<unsigned char> bytes;
    unsigned char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    if (bytes.size() < 2 || bytes[0] != 'M' || bytes[1] != 'Z') return bytes;

    // As data, a module of either pointer size can be read.
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) throw Failure{"LoadLibraryExW", HRESULT_FROM_WIN32(GetLastError())};
    HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(1), L"TYPELIB");
    HGLOBAL loaded = res ? LoadResource(module, res) : nullptr;
    const auto* data = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
    if (data) bytes.assign(data, data + SizeofResource(module, res));
    FreeLibrary(module);
    if (!data) throw Failure{"reading TYPELIB resource 1", TYPE_E_CANTLOADLIBRARY};
    return bytes;
}

// Prints the layout as stored in the file. A 64-bit process's loader scales
// a win32 library's vtable offsets to 8-byte slots and evens out interface
// sizes, so the values a 32-bit client would see are only visible here.
// Offsets are those of the MSFT format as oleaut32 reads it.
class StoredLayout {
public:
    explicit StoredLayout(std::vector<unsigned char> bytes) : d_(std::move(bytes)) {
        if (u32(0) != 0x5446534D) throw Failure{"reading the MSFT header", TYPE_E_CANTLOADLIBRARY};
        segdir_ = 0x54 + 4 * size_t{u32(0x20)} + ((u32(0x14) & 0x100) ? 4 : 0);
    }

    void print() const {
        std::printf("\nstored in the file\n");
        std::printf("  syskind %s\n", syskind_name(static_cast<SYSKIND>(u32(0x14) & 0xF)));
        for (uint32_t i = 0; i < u32(0x20); ++i) print_type(i);
        const size_t impinfos = seg(1), count = seg_length(1) / 12;
        for (size_t i = 0; i < count; ++i) print_reference(i, impinfos + 12 * i);
    }

private:
    std::vector<unsigned char> d_;
    size_t segdir_ = 0;

    // Bounds-checked access to n bytes at `at`.
    const unsigned char* at_(size_t at, size_t n) const {
        if (at > d_.size() || d_.size() - at < n) throw Failure{"reading the MSFT file", TYPE_E_CANTLOADLIBRARY};
        return &d_[at];
    }
    template <class T>
    T read(size_t at) const {
        T v;
        std::memcpy(&v, at_(at, sizeof v), sizeof v);
        return v;
    }
    uint32_t u32(size_t at) const { return read<uint32_t>(at); }
    uint16_t u16(size_t at) const { return read<uint16_t>(at); }
    size_t seg(int k) const { return u32(segdir_ + 16 * static_cast<size_t>(k)); }
    size_t seg_length(int k) const { return u32(segdir_ + 16 * static_cast<size_t>(k) + 4); }
    GUID guid_at(uint32_t offset) const { return read<GUID>(seg(5) + offset); }

    void print_type(uint32_t i) const {
        const size_t entry = seg(0) + 0x64 * size_t{i};
        const uint32_t kind = u32(entry), counts = u32(entry + 0x18);
        const uint32_t funcs = counts & 0xFFFF, vars = counts >> 16;
        std::printf("  [%u] %s size %u alignment %u vtable %u", i, kind_name(static_cast<TYPEKIND>(kind & 0xF)),
                    u32(entry + 0x50), (kind >> 11) & 0x1F, u16(entry + 0x4E));
        // Member records come functions first; an offset table follows
        // the records, the member ids and the names.
        const size_t aux = u32(entry + 4);
        for (uint32_t m = 0; m < funcs + vars; ++m) {
            const size_t table = aux + 4 + u32(aux) + 8 * size_t{funcs + vars};
            const size_t record = aux + 4 + u32(table + 4 * size_t{m});
            if (m == 0 && funcs) std::printf(" slots");
            if (m == funcs) std::printf(" offsets");
            std::printf(" %u", m < funcs ? u16(record + 12) : u32(record + 16));
        }
        std::printf("\n");
    }

    void print_reference(size_t i, size_t at) const {
        const uint32_t flags = u32(at), impfile = static_cast<uint32_t>(seg(2)) + u32(at + 4);
        const std::string target = (flags & 0x10000) ? guid(guid_at(u32(at + 8))) : "#" + std::to_string(u32(at + 8));
        const uint32_t version = u32(impfile + 8), name_length = u16(impfile + 12) >> 2;
        const std::string file(reinterpret_cast<const char*>(at_(impfile + 14, name_length)), name_length);
        std::printf("  reference [%zu] %s %s in %s %u.%u lcid %s \"%s\"\n", i,
                    kind_name(static_cast<TYPEKIND>(flags >> 24)), target.c_str(), guid(guid_at(u32(impfile))).c_str(),
                    version & 0xFFFF, version >> 16, hex(u32(impfile + 4)).c_str(), file.c_str());
    }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Text mode would turn "\n" into "\r\n" and break the diff.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 2) {
        std::fprintf(stderr, "usage: dump_typelib FILE.tlb|FILE.dll [IMPORTED.tlb...]\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "dump_typelib: CoInitializeEx failed\n");
        return 1;
    }
    int rc = 0;
    try {
        // Loaded libraries stay cached while referenced; stdole2 too, so
        // that resolving IDispatch registers nothing.
        std::vector<com_ptr<ITypeLib>> imported(static_cast<size_t>(argc - 1));
        check(LoadTypeLibEx(L"stdole2.tlb", REGKIND_NONE, imported[0].put()), "loading stdole2.tlb");
        for (int i = 2; i < argc; ++i)
            check(LoadTypeLibEx(full_path(argv[i]).c_str(), REGKIND_NONE, imported[static_cast<size_t>(i - 1)].put()),
                  "loading " + utf8(argv[i]));
        const std::wstring path = full_path(argv[1]);
        com_ptr<ITypeLib> lib;
        check(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.put()), "LoadTypeLibEx");
        Dumper(lib.get()).run();
        StoredLayout(library_bytes(path.c_str())).print();
    } catch (const Failure& f) {
        std::fflush(stdout);
        std::fprintf(stderr, "dump_typelib: %s failed (0x%08lx)\n", f.what.c_str(), static_cast<unsigned long>(f.hr));
        rc = 1;
    }
    CoUninitialize();
    return rc;
}
