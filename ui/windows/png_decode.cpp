// Decoding the built-in PNG pictures with the Windows Imaging Component, for the Windows window.
#include "runtime/windows/windows_api.h"

#include <wincodec.h>

#include <cstring>
#include <new>

#include "ui/png_decode.h"

namespace kestrin {
namespace {

// Sizes beyond anything a window shows: a corrupt or hostile header must not make us allocate
// gigabytes before the data runs out.
constexpr UINT kMaxSide = 16384;
constexpr std::size_t kMaxPixels = std::size_t{1} << 25;

// Holds one COM reference and releases it.
template <typename Interface>
class Com {
 public:
  Com() = default;
  ~Com() {
    if (pointer_ != nullptr) pointer_->Release();
  }
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  Interface* operator->() const { return pointer_; }
  Interface* Get() const { return pointer_; }
  Interface** Put() { return &pointer_; }

 private:
  Interface* pointer_ = nullptr;
};

// COM on the calling thread for as long as the decoding takes; a thread already in COM keeps
// its own mode.
class ComScope {
 public:
  ComScope() : result_(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  [[nodiscard]] bool Usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

bool Decode(std::span<const std::uint8_t> png, DecodedImage& image) {
  Com<IWICImagingFactory> factory;
  if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.Put())))) {
    return false;
  }
  Com<IWICStream> stream;
  if (FAILED(factory->CreateStream(stream.Put())) ||
      FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(png.data()), static_cast<DWORD>(png.size())))) {
    return false;
  }
  Com<IWICBitmapDecoder> decoder;
  if (FAILED(factory->CreateDecoder(GUID_ContainerFormatPng, nullptr, decoder.Put())) ||
      FAILED(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand))) {
    return false;
  }
  Com<IWICBitmapFrameDecode> frame;
  UINT width = 0;
  UINT height = 0;
  if (FAILED(decoder->GetFrame(0, frame.Put())) || FAILED(frame->GetSize(&width, &height))) return false;
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide || std::size_t{width} * height > kMaxPixels) {
    return false;
  }
  // Straight (not premultiplied) alpha, B, G, R, A bytes: one little-endian 0xAARRGGBB each.
  Com<IWICBitmapSource> converted;
  if (FAILED(::WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.Get(), converted.Put()))) return false;
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.pixels.assign(std::size_t{width} * height, 0);
  const UINT stride = width * 4;
  return SUCCEEDED(converted->CopyPixels(nullptr, stride, stride * height,
                                         reinterpret_cast<BYTE*>(image.pixels.data())));
}

}  // namespace

std::optional<DecodedImage> DecodePng(std::span<const std::uint8_t> png) {
  static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < sizeof kSignature || std::memcmp(png.data(), kSignature, sizeof kSignature) != 0) {
    return std::nullopt;
  }
  if (png.size() > 0xFFFFFFFFu) return std::nullopt;
  ComScope com;
  if (!com.Usable()) return std::nullopt;
  DecodedImage image;
  try {
    if (!Decode(png, image)) return std::nullopt;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  return image;
}

}  // namespace kestrin
