// Helpers of the tile tests: small DICOM files written byte by byte (explicit VR little endian,
// native pixel data), the picture a tile should show computed through the imaging layer alone,
// and mouse events with exact button and key states.
#pragma once

#include "imaging/frame_loader.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWidget>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace velmora::testing {

struct NativeImage {
    uint16_t rows = 0;
    uint16_t columns = 0;
    uint16_t bitsAllocated = 8;
    uint16_t samples = 1;
    std::string photometric = "MONOCHROME2";
    std::string pixelSpacing; // "" for none
    std::vector<uint8_t> pixels;
};

class DicomBytes {
public:
    void Short(uint16_t group, uint16_t element, const char* vr, const std::vector<uint8_t>& value)
    {
        Tag(group, element);
        m_bytes.insert(m_bytes.end(), vr, vr + 2);
        U16(static_cast<uint16_t>(value.size()));
        m_bytes.insert(m_bytes.end(), value.begin(), value.end());
    }
    void Us(uint16_t group, uint16_t element, uint16_t value)
    {
        Short(group, element, "US", { static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8) });
    }
    void Text(uint16_t group, uint16_t element, const char* vr, std::string text, char pad)
    {
        if (text.size() % 2 != 0)
            text.push_back(pad);
        Short(group, element, vr, std::vector<uint8_t>(text.begin(), text.end()));
    }
    void Long(uint16_t group, uint16_t element, const char* vr, const std::vector<uint8_t>& value)
    {
        Tag(group, element);
        m_bytes.insert(m_bytes.end(), vr, vr + 2);
        U16(0);
        const auto length = static_cast<uint32_t>(value.size());
        U16(static_cast<uint16_t>(length));
        U16(static_cast<uint16_t>(length >> 16));
        m_bytes.insert(m_bytes.end(), value.begin(), value.end());
    }
    std::vector<uint8_t>& Bytes() { return m_bytes; }

private:
    void Tag(uint16_t group, uint16_t element)
    {
        U16(group);
        U16(element);
    }
    void U16(uint16_t value)
    {
        m_bytes.push_back(static_cast<uint8_t>(value));
        m_bytes.push_back(static_cast<uint8_t>(value >> 8));
    }
    std::vector<uint8_t> m_bytes;
};

inline bool WriteNativeDicom(const std::string& path, const NativeImage& image)
{
    DicomBytes d;
    d.Bytes().assign(128, 0);
    d.Bytes().insert(d.Bytes().end(), { 'D', 'I', 'C', 'M' });
    d.Text(0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1", '\0');
    // The identification a real file carries (the reader wants a plausible number of elements).
    d.Text(0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.7", '\0');
    d.Text(0x0008, 0x0018, "UI", "1.2.826.0.1.3680043.9.7777.1", '\0');
    d.Text(0x0008, 0x0020, "DA", "20260101", ' ');
    d.Text(0x0008, 0x0060, "CS", "OT", ' ');
    d.Text(0x0008, 0x1030, "LO", "Tile test", ' ');
    d.Text(0x0008, 0x103E, "LO", "Fixture", ' ');
    d.Text(0x0010, 0x0010, "PN", "TILE^TEST", ' ');
    d.Text(0x0010, 0x0020, "LO", "T1", ' ');
    d.Text(0x0020, 0x000D, "UI", "1.2.826.0.1.3680043.9.7777.2", '\0');
    d.Text(0x0020, 0x000E, "UI", "1.2.826.0.1.3680043.9.7777.3", '\0');
    d.Text(0x0020, 0x0013, "IS", "1", ' ');
    d.Us(0x0028, 0x0002, image.samples);
    d.Text(0x0028, 0x0004, "CS", image.photometric, ' ');
    if (image.samples > 1)
        d.Us(0x0028, 0x0006, 0);
    d.Us(0x0028, 0x0010, image.rows);
    d.Us(0x0028, 0x0011, image.columns);
    if (!image.pixelSpacing.empty())
        d.Text(0x0028, 0x0030, "DS", image.pixelSpacing, ' ');
    d.Us(0x0028, 0x0100, image.bitsAllocated);
    d.Us(0x0028, 0x0101, image.bitsAllocated);
    d.Us(0x0028, 0x0102, static_cast<uint16_t>(image.bitsAllocated - 1));
    d.Us(0x0028, 0x0103, 0);
    d.Long(0x7FE0, 0x0010, image.bitsAllocated == 8 ? "OB" : "OW", image.pixels);
    std::ofstream out(path, std::ios::binary);
    out.write(
        reinterpret_cast<const char*>(d.Bytes().data()), static_cast<std::streamsize>(d.Bytes().size()));
    return static_cast<bool>(out);
}

// What a tile of `client` size shows for frame `frame` of `path` drawn into `rect`: the frame
// loaded by the imaging layer alone (then `brightness` and `contrast` steps, when not 0) and
// stretched by the reference blit, black around it.
inline QImage ExpectedTile(const std::string& path, uint32_t frame, const DisplayFlags& flags, QSize client,
    const PixelRect& rect, int32_t brightness = 0, int32_t contrast = 0)
{
    ImageSource source;
    ImageDescription description;
    DisplayBitmap bitmap;
    QImage image(client, QImage::Format_RGB32);
    image.fill(Qt::black);
    if (LoadFrame(path, frame, flags, source, description, bitmap) != FrameLoadResult::Shown)
        return {};
    bitmap.MarkComplete();
    if (brightness != 0)
        bitmap.Brightness(brightness);
    if (contrast != 0)
        bitmap.Contrast(contrast);
    StretchBlitToArgb(reinterpret_cast<uint32_t*>(image.bits()), image.width(), image.height(), bitmap.View(),
        { 0, 0, bitmap.Width(), bitmap.Height() }, rect, rect);
    return image;
}

inline void SendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons,
    QPoint point, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(type, QPointF(point), widget->mapToGlobal(QPointF(point)), button, buttons, modifiers);
    QApplication::sendEvent(widget, &event);
}

inline std::string SourceFile(const std::string& relative)
{
    return qEnvironmentVariable("VELMORA_SOURCE_DIR").toStdString() + "/" + relative;
}

inline std::string PydicomFile(const std::string& name)
{
    return "/usr/lib/python3/dist-packages/pydicom/data/test_files/" + name;
}

} // namespace velmora::testing
