#include "disc/win32/Imapi2Recorders.h"

#include "platform/win32/WideText.h"

#include <objbase.h>
#include <oleauto.h>
#include <shlwapi.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace qob::disc {
namespace {

// One automation object, released when it goes.
class Object {
public:
    Object() = default;
    explicit Object(IDispatch* p) : p_(p) {}
    ~Object() { reset(); }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    Object& operator=(Object&& other) noexcept {
        reset();
        p_ = other.p_;
        other.p_ = nullptr;
        return *this;
    }
    void reset() {
        if (p_) {
            p_->Release();
        }
        p_ = nullptr;
    }
    IDispatch* get() const { return p_; }
    IDispatch** out() {
        reset();
        return &p_;
    }

private:
    IDispatch* p_ = nullptr;
};

// One VARIANT, cleared when it goes.
struct Variant {
    VARIANT v;
    Variant() { VariantInit(&v); }
    ~Variant() { VariantClear(&v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
};

std::string failureText(HRESULT hr, const EXCEPINFO& info) {
    std::string text;
    if (info.bstrDescription) {
        text = win32::narrow(info.bstrDescription);
    }
    if (text.empty()) {
        text = win32::errorText(static_cast<unsigned long>(hr));
    }
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    return text + " (" + code + ")";
}

// Calls `name` on `object`: a method, a property read or a property write by `flags`. `args` are
// in the order of the documentation (IDispatch wants them reversed). Empty on success.
std::string call(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> args,
                 VARIANT* result = nullptr) {
    if (object == nullptr) {
        return "no object";
    }
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        return win32::narrow(name) + " is unknown: " + win32::errorText(static_cast<unsigned long>(hr));
    }
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{};
    params.cArgs = static_cast<UINT>(reversed.size());
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    DISPID named = DISPID_PROPERTYPUT;
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.cNamedArgs = 1;
        params.rgdispidNamedArgs = &named;
    }
    EXCEPINFO info{};
    UINT badArg = 0;
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &info, &badArg);
    std::string error = FAILED(hr) ? failureText(hr, info) : std::string();
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return error;
}

VARIANT text(BSTR value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = value;
    return v;
}

VARIANT number(long value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

VARIANT flag(bool value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

VARIANT object(IDispatch* value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = value;
    return v;
}

std::string create(const wchar_t* progId, Object& out) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(progId, &clsid);
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, reinterpret_cast<void**>(out.out()));
    }
    return FAILED(hr) ? win32::narrow(progId) +
                            " cannot be created: " + win32::errorText(static_cast<unsigned long>(hr))
                      : std::string();
}

long asLong(const VARIANT& v) {
    Variant copy;
    return SUCCEEDED(VariantChangeType(&copy.v, const_cast<VARIANT*>(&v), 0, VT_I4)) ? copy.v.lVal : 0;
}

std::string asText(const VARIANT& v) {
    Variant copy;
    return SUCCEEDED(VariantChangeType(&copy.v, const_cast<VARIANT*>(&v), 0, VT_BSTR)) && copy.v.bstrVal
               ? win32::narrow(copy.v.bstrVal)
               : std::string();
}

// The elements of a SAFEARRAY property (of VARIANTs, as automation hands them out).
std::vector<std::string> textsOf(const VARIANT& v) {
    std::vector<std::string> out;
    if (!(v.vt & VT_ARRAY) || v.parray == nullptr) {
        return out;
    }
    LONG low = 0, high = -1;
    SafeArrayGetLBound(v.parray, 1, &low);
    SafeArrayGetUBound(v.parray, 1, &high);
    for (LONG i = low; i <= high; ++i) {
        Variant item;
        if ((v.vt & VT_TYPEMASK) == VT_VARIANT) {
            SafeArrayGetElement(v.parray, &i, &item.v);
        } else if ((v.vt & VT_TYPEMASK) == VT_BSTR) {
            BSTR s = nullptr;
            SafeArrayGetElement(v.parray, &i, &s);
            item.v.vt = VT_BSTR;
            item.v.bstrVal = s;
        } else if ((v.vt & VT_TYPEMASK) == VT_I4) {
            long n = 0;
            SafeArrayGetElement(v.parray, &i, &n);
            item.v.vt = VT_I4;
            item.v.lVal = n;
        }
        out.push_back(asText(item.v));
    }
    return out;
}

// IMAPI_MEDIA_PHYSICAL_TYPE as this program's media kinds.
MediaType mediaTypeOf(long physical, std::string& name) {
    struct Kind {
        long code;
        MediaType type;
        const char* name;
    };
    static const Kind kinds[] = {
        {2, MediaType::CdR, "CD-R"},         {3, MediaType::CdRw, "CD-RW"},
        {5, MediaType::DvdRam, "DVD-RAM"},   {6, MediaType::DvdPlusR, "DVD+R"},
        {7, MediaType::DvdPlusRw, "DVD+RW"}, {8, MediaType::DvdPlusRDl, "DVD+R DL"},
        {9, MediaType::DvdR, "DVD-R"},       {10, MediaType::DvdRw, "DVD-RW"},
        {11, MediaType::DvdRDl, "DVD-R DL"}, {13, MediaType::DvdPlusRw, "DVD+RW DL"},
        {18, MediaType::BdR, "BD-R"},        {19, MediaType::BdRe, "BD-RE"},
        {1, MediaType::Other, "CD-ROM"},     {4, MediaType::Other, "DVD-ROM"},
        {17, MediaType::Other, "BD-ROM"},
    };
    for (const Kind& k : kinds) {
        if (k.code == physical) {
            name = k.name;
            return k.type;
        }
    }
    name = "unknown medium";
    return MediaType::Other;
}

} // namespace

struct Imapi2Recorders::Recorder {
    Object recorder;
    std::string uniqueId;
};

Imapi2Recorders::Imapi2Recorders() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    // A thread that already chose the other model still has COM; only our own start is undone.
    comStarted_ = SUCCEEDED(hr);
    if (FAILED(hr) && hr != RPC_E_CHANGED_MODE) {
        problem_ = "COM could not be started: " + win32::errorText(static_cast<unsigned long>(hr));
        return;
    }
    Object master;
    if (std::string error = create(L"IMAPI2.MsftDiscMaster2", master); !error.empty()) {
        problem_ = "Windows' disc recording (IMAPI2) is not available: " + error;
        return;
    }
    Variant supported;
    if (std::string error =
            call(master.get(), L"IsSupportedEnvironment", DISPATCH_PROPERTYGET, {}, &supported.v);
        !error.empty() || asLong(supported.v) == 0) {
        problem_ =
            "Windows' disc recording (IMAPI2) cannot reach any drive" + (error.empty() ? "" : ": " + error);
        return;
    }
    master_ = master.get();
    master_->AddRef();
}

Imapi2Recorders::~Imapi2Recorders() {
    if (master_) {
        master_->Release();
    }
    if (comStarted_) {
        CoUninitialize();
    }
}

bool Imapi2Recorders::open(const std::string& address, Recorder& out, std::string& error) {
    if (!problem_.empty()) {
        error = problem_;
        return false;
    }
    Variant count;
    if (error = call(master_, L"Count", DISPATCH_PROPERTYGET, {}, &count.v); !error.empty()) {
        return false;
    }
    for (long i = 0; i < asLong(count.v); ++i) {
        Variant id;
        if (!call(master_, L"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {number(i)}, &id.v).empty()) {
            continue;
        }
        Object recorder;
        if (!create(L"IMAPI2.MsftDiscRecorder2", recorder).empty() ||
            !call(recorder.get(), L"InitializeDiscRecorder", DISPATCH_METHOD, {text(id.v.bstrVal)}).empty()) {
            continue;
        }
        Variant paths;
        call(recorder.get(), L"VolumePathNames", DISPATCH_PROPERTYGET, {}, &paths.v);
        const std::vector<std::string> names = textsOf(paths.v);
        const std::string unique = asText(id.v);
        const std::string name = names.empty() ? unique : names.front();
        if (address.empty() || address == name || address == unique) {
            out.recorder = std::move(recorder);
            out.uniqueId = name;
            return true;
        }
    }
    error = "The drive " + address + " was not found.";
    return false;
}

std::vector<DiscDeviceInfo> Imapi2Recorders::devices() {
    std::vector<DiscDeviceInfo> result;
    if (!problem_.empty()) {
        return result;
    }
    Variant count;
    if (!call(master_, L"Count", DISPATCH_PROPERTYGET, {}, &count.v).empty()) {
        return result;
    }
    for (long i = 0; i < asLong(count.v); ++i) {
        Variant id;
        if (!call(master_, L"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {number(i)}, &id.v).empty()) {
            continue;
        }
        Recorder r;
        std::string error;
        if (!open(asText(id.v), r, error)) {
            continue;
        }
        Variant vendor, product;
        call(r.recorder.get(), L"VendorId", DISPATCH_PROPERTYGET, {}, &vendor.v);
        call(r.recorder.get(), L"ProductId", DISPATCH_PROPERTYGET, {}, &product.v);
        DiscDeviceInfo device;
        device.address = r.uniqueId;
        device.description = asText(vendor.v) + " " + asText(product.v) + " (" + r.uniqueId + ")";
        device.isRecorder = isRecorder(r.uniqueId);
        result.push_back(device);
    }
    return result;
}

std::vector<int> Imapi2Recorders::profiles(const std::string& address) {
    std::vector<int> out;
    Recorder r;
    std::string error;
    if (!open(address, r, error)) {
        return out;
    }
    Variant list;
    if (call(r.recorder.get(), L"SupportedProfiles", DISPATCH_PROPERTYGET, {}, &list.v).empty()) {
        for (const std::string& p : textsOf(list.v)) {
            out.push_back(std::atoi(p.c_str()));
        }
    }
    return out;
}

bool Imapi2Recorders::isRecorder(const std::string& address) {
    Recorder r;
    std::string error;
    if (!open(address, r, error)) {
        return false;
    }
    Object format;
    Variant supported;
    return create(L"IMAPI2.MsftDiscFormat2Data", format).empty() &&
           call(format.get(), L"IsRecorderSupported", DISPATCH_METHOD, {object(r.recorder.get())},
                &supported.v)
               .empty() &&
           asLong(supported.v) != 0;
}

MediaInfo Imapi2Recorders::media(const std::string& address) {
    MediaInfo info;
    Recorder r;
    std::string error;
    Object format;
    if (!open(address, r, error) || !create(L"IMAPI2.MsftDiscFormat2Data", format).empty() ||
        !call(format.get(), L"Recorder", DISPATCH_PROPERTYPUTREF, {object(r.recorder.get())}).empty()) {
        return info;
    }
    Variant physical;
    // Fails with "no media" when the tray is empty: the medium stays None.
    if (!call(format.get(), L"CurrentPhysicalMediaType", DISPATCH_PROPERTYGET, {}, &physical.v).empty()) {
        return info;
    }
    info.type = mediaTypeOf(asLong(physical.v), info.name);
    Variant state, free;
    call(format.get(), L"CurrentMediaStatus", DISPATCH_PROPERTYGET, {}, &state.v);
    call(format.get(), L"FreeSectorsOnMedia", DISPATCH_PROPERTYGET, {}, &free.v);
    const long s = asLong(state.v);
    constexpr long kBlank = 0x2, kAppendable = 0x4, kRandomlyWritable = 0x1, kNonEmpty = 0x1000,
                   kWriteProtected = 0x2000, kFinalized = 0x4000, kUnsupported = 0x8000;
    info.writable =
        (s & (kBlank | kAppendable | kRandomlyWritable)) && !(s & (kWriteProtected | kUnsupported));
    info.rewritable = info.type == MediaType::CdRw || info.type == MediaType::DvdRw ||
                      info.type == MediaType::DvdPlusRw || info.type == MediaType::DvdRam ||
                      info.type == MediaType::BdRe;
    info.erasable = info.rewritable && (s & (kNonEmpty | kFinalized | kAppendable));
    info.freeBlocks = static_cast<std::uint64_t>(std::max(0L, asLong(free.v)));
    return info;
}

std::uint32_t Imapi2Recorders::nextWritableBlock(const std::string& address) {
    Recorder r;
    std::string error;
    Object format;
    Variant state, next;
    if (!open(address, r, error) || !create(L"IMAPI2.MsftDiscFormat2Data", format).empty() ||
        !call(format.get(), L"Recorder", DISPATCH_PROPERTYPUTREF, {object(r.recorder.get())}).empty() ||
        !call(format.get(), L"CurrentMediaStatus", DISPATCH_PROPERTYGET, {}, &state.v).empty() ||
        !(asLong(state.v) & 0x4) ||
        !call(format.get(), L"NextWritableAddress", DISPATCH_PROPERTYGET, {}, &next.v).empty()) {
        return 0;
    }
    return static_cast<std::uint32_t>(std::max(0L, asLong(next.v)));
}

Status Imapi2Recorders::eject(const std::string& address) {
    Recorder r;
    std::string error;
    if (!open(address, r, error) ||
        !(error = call(r.recorder.get(), L"EjectMedia", DISPATCH_METHOD, {})).empty()) {
        return Status::failure("The tray of " + address + " could not be opened: " + error);
    }
    return Status::success();
}

Status Imapi2Recorders::closeTray(const std::string& address) {
    Recorder r;
    std::string error;
    if (!open(address, r, error) ||
        !(error = call(r.recorder.get(), L"CloseTray", DISPATCH_METHOD, {})).empty()) {
        return Status::failure("The tray of " + address + " could not be closed: " + error);
    }
    return Status::success();
}

Status Imapi2Recorders::writeImage(const std::string& address, const std::filesystem::path& iso,
                                   bool finalize) {
    Recorder r;
    std::string error;
    Object format;
    if (!open(address, r, error)) {
        return Status::failure(error);
    }
    if (error = create(L"IMAPI2.MsftDiscFormat2Data", format); !error.empty()) {
        return Status::failure(error);
    }
    BSTR client = SysAllocString(L"Quire Outlook Backup");
    error = call(format.get(), L"Recorder", DISPATCH_PROPERTYPUTREF, {object(r.recorder.get())});
    if (error.empty()) {
        error = call(format.get(), L"ClientName", DISPATCH_PROPERTYPUT, {text(client)});
    }
    if (error.empty()) {
        error = call(format.get(), L"ForceMediaToBeClosed", DISPATCH_PROPERTYPUT, {flag(finalize)});
    }
    SysFreeString(client);
    if (!error.empty()) {
        return Status::failure(error);
    }
    IStream* stream = nullptr;
    const HRESULT hr = SHCreateStreamOnFileEx(iso.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE,
                                              FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, &stream);
    if (FAILED(hr)) {
        return Status::failure("The image could not be opened for the recorder: " +
                               win32::errorText(static_cast<unsigned long>(hr)));
    }
    VARIANT data;
    VariantInit(&data);
    data.vt = VT_UNKNOWN;
    data.punkVal = stream;
    error = call(format.get(), L"Write", DISPATCH_METHOD, {data});
    stream->Release();
    return error.empty() ? Status::success() : Status::failure(error);
}

Status Imapi2Recorders::erase(const std::string& address, bool quick) {
    Recorder r;
    std::string error;
    Object format;
    if (!open(address, r, error)) {
        return Status::failure(error);
    }
    if (error = create(L"IMAPI2.MsftDiscFormat2Erase", format); !error.empty()) {
        return Status::failure(error);
    }
    BSTR client = SysAllocString(L"Quire Outlook Backup");
    error = call(format.get(), L"Recorder", DISPATCH_PROPERTYPUTREF, {object(r.recorder.get())});
    if (error.empty()) {
        error = call(format.get(), L"ClientName", DISPATCH_PROPERTYPUT, {text(client)});
    }
    if (error.empty()) {
        error = call(format.get(), L"FullErase", DISPATCH_PROPERTYPUT, {flag(!quick)});
    }
    SysFreeString(client);
    if (error.empty()) {
        error = call(format.get(), L"EraseMedia", DISPATCH_METHOD, {});
    }
    return error.empty() ? Status::success() : Status::failure(error);
}

std::string Imapi2Recorders::rawVolume(const std::string& address) {
    // "D:\" → "\\.\D:", the volume whose 2048-byte sectors are the disc's blocks.
    if (address.size() >= 2 && address[1] == ':') {
        return std::string("\\\\.\\") + address.substr(0, 2);
    }
    return {};
}

} // namespace qob::disc
