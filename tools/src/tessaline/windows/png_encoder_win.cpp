#include <objbase.h>
#include <wincodec.h>
#include <windows.h>
#include <wrl/client.h>

#include <algorithm>
#include <vector>

#include "../png_encoder.h"

namespace Tessaline {
namespace {

using Microsoft::WRL::ComPtr;

// The first failed call of an encoding, by name.
struct Failure {
    const char* call;
    HRESULT result;
};

void check(HRESULT result, const char* call)
{
    if (FAILED(result)) throw Failure{call, result};
}

// COM on the calling thread for as long as it lives. Batch mode encodes on its own threads,
// which nobody else initialises; a thread already in another apartment is used as it is.
class ComApartment {
public:
    ComApartment() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment()
    {
        if (SUCCEEDED(result_)) CoUninitialize();
    }

private:
    HRESULT result_;
};

// Hands the frame its pixels a band of rows at a time, so that no second copy of a large
// picture is made.
void writeRows(const PixelView& v, IWICBitmapFrameEncode* frame, bool gray)
{
    const UINT rowBytes = v.width * (gray ? 1 : 3);
    const uint32_t band = std::max<uint32_t>(1, (1u << 20) / rowBytes);
    std::vector<uint8_t> rows(size_t(rowBytes) * std::min(band, v.height));
    for (uint32_t y = 0; y < v.height;) {
        const uint32_t n = std::min(band, v.height - y);
        for (uint32_t i = 0; i < n; ++i) samplesOfRow(v, y + i, gray ? Samples::Gray : Samples::BGR, &rows[size_t(i) * rowBytes]);
        check(frame->WritePixels(n, rowBytes, n * rowBytes, rows.data()), "WritePixels");
        y += n;
    }
}

// The whole file in a memory stream; it reaches the caller's file in one write.
ComPtr<IStream> encodeToMemory(const PixelView& v, bool gray)
{
    ComPtr<IWICImagingFactory> factory;
    check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)),
          "CoCreateInstance(CLSID_WICImagingFactory)");
    ComPtr<IStream> stream;
    check(CreateStreamOnHGlobal(nullptr, TRUE, &stream), "CreateStreamOnHGlobal");
    ComPtr<IWICBitmapEncoder> encoder;
    check(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder), "CreateEncoder");
    check(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), "IWICBitmapEncoder::Initialize");
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    check(encoder->CreateNewFrame(&frame, &options), "CreateNewFrame");
    check(frame->Initialize(options.Get()), "IWICBitmapFrameEncode::Initialize");
    check(frame->SetSize(v.width, v.height), "SetSize");
    const WICPixelFormatGUID wanted = gray ? GUID_WICPixelFormat8bppGray : GUID_WICPixelFormat24bppBGR;
    WICPixelFormatGUID format = wanted;
    check(frame->SetPixelFormat(&format), "SetPixelFormat");
    if (format != wanted) throw Failure{"SetPixelFormat", WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT};
    writeRows(v, frame.Get(), gray);
    check(frame->Commit(), "IWICBitmapFrameEncode::Commit");
    check(encoder->Commit(), "IWICBitmapEncoder::Commit");
    return stream;
}

// Copies the stream's bytes, from its start to its current position, to file.
bool copyToFile(IStream* stream, FILE* file)
{
    ULARGE_INTEGER size{};
    check(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &size), "IStream::Seek");
    HGLOBAL memory = nullptr;
    check(GetHGlobalFromStream(stream, &memory), "GetHGlobalFromStream");
    const void* bytes = GlobalLock(memory);
    if (!bytes) throw Failure{"GlobalLock", HRESULT_FROM_WIN32(GetLastError())};
    const size_t n = size_t(size.QuadPart);
    const bool written = std::fwrite(bytes, 1, n, file) == n;
    GlobalUnlock(memory);
    return written;
}

} // namespace

bool encodePng(const PixelView& v, bool gray, FILE* file, std::string* error)
{
    ComApartment apartment;
    try {
        return copyToFile(encodeToMemory(v, gray).Get(), file);
    } catch (const Failure& f) {
        char text[128];
        std::snprintf(text, sizeof text, "%s failed (0x%08lX)", f.call, static_cast<unsigned long>(f.result));
        *error = text;
        return false;
    }
}

} // namespace Tessaline
