#include "render/GlFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>

#include "common/Messages.h"
#include "framework/DirectX.h"
#include "render/GlDevice.h"
#include "render/RenderResult.h"

namespace {

const wchar_t* const kSource = L"..\\..\\..\\..\\..\\COMMON\\SRC\\Vc\\D3DObjectManager";
const wchar_t* const kCall = L"D3DXCreateFont";

/// The largest height a font is made with; larger ones would make images of gigabytes.
constexpr int kMaxHeight = 2048;

QString ToQString(const std::wstring& text) {
    return QString::fromStdWString(text);
}

} // namespace

GlFont::~GlFont() {
    ReleaseTexture();
}

void GlFont::Create(const std::wstring& faceName, int height) {
    D3DFont::Create(faceName, height);
    ReleaseTexture();
    font_.reset();
    cachedText_.clear();

    // fonts exist only in a GUI application; GDI reads a negative height as the
    // character height without leading, both become the pixel size here
    const int pixels = height < 0 ? -height : height;
    if (qGuiApp == nullptr || pixels > kMaxHeight || QFontDatabase::families().isEmpty()) {
        LogRenderFailure(kSource, __LINE__, kCall, InvalidCallResult());
        throw DirectX::exec_error(CommonMessage(115) + FailedCallText(kCall, InvalidCallResult()));
    }
    QFont font(ToQString(faceName));
    font.setStyleHint(QFont::SansSerif);
    if (!QFontInfo(font).exactMatch()) {
        font.setFamily(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    }
    font.setWeight(QFont::Bold);
    if (pixels > 0) {
        font.setPixelSize(pixels);
    }
    font_ = font;
}

void GlFont::OnLostDevice() {
    ReleaseTexture();
    cachedText_.clear();
    font_.reset();
}

void GlFont::OnResetDevice() {
    Create(faceName_, height_);
}

void GlFont::ReleaseTexture() {
    if (texture_ != 0) {
        if (auto queue = releaseQueue_.lock()) {
            queue->AddTexture(texture_);
        }
        texture_ = 0;
        deviceId_ = 0;
    }
}

QImage GlFont::TextImage(const std::wstring& text) const {
    if (!font_ || text.empty()) {
        return QImage();
    }
    const QString line = ToQString(text);
    const QFontMetrics metrics(*font_);
    // the bounding rectangle covers glyphs that reach past their advance (italic, bold)
    const QRect bounds = metrics.boundingRect(line);
    const int width = std::max(metrics.horizontalAdvance(line), bounds.right() + 1);
    const int height = metrics.height();
    if (width <= 0 || height <= 0) {
        return QImage();
    }
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setFont(*font_);
    painter.setPen(Qt::white);
    painter.drawText(0, metrics.ascent(), line);
    painter.end();
    return image;
}

bool GlFont::TextTexture(GlDevice& device, const std::wstring& text, GLuint& texture, int& width,
                         int& height) {
    if (!font_) {
        return false;
    }
    if (texture_ != 0 && deviceId_ != device.Id()) {
        // names of another device died with it
        texture_ = 0;
        cachedText_.clear();
    }
    if (texture_ == 0 || text != cachedText_) {
        const QImage image = TextImage(text);
        if (image.isNull()) {
            texture = 0;
            width = 0;
            height = 0;
            return true;
        }
        if (texture_ == 0) {
            texture_ = device.MakeTexture(image, true);
            deviceId_ = device.Id();
            releaseQueue_ = device.ReleaseQueue();
        } else {
            device.ReplaceTexture(texture_, image);
        }
        cachedText_ = text;
        cachedWidth_ = image.width();
        cachedHeight_ = image.height();
    }
    texture = texture_;
    width = cachedWidth_;
    height = cachedHeight_;
    return true;
}
