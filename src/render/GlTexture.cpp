#include "render/GlTexture.h"

#include <QFileInfo>
#include <QImageReader>

#include "common/FilePath.h"
#include "common/Messages.h"
#include "common/myexception.h"
#include "render/GlDevice.h"
#include "render/RenderResult.h"

namespace {

const wchar_t* const kSource = L"..\\..\\..\\..\\..\\COMMON\\SRC\\Vc\\D3DObjectManager";
const wchar_t* const kCall = L"D3DXCreateTextureFromFile";

/// The image of the file; throws file_error naming the file when there is none.
QImage ReadImage(const std::wstring& file) {
    const QString path = QString::fromStdString(ToNativePath(file));
    QImageReader reader(path);
    QImage image;
    if (!file.empty() && reader.read(&image) && !image.isNull()) {
        return image;
    }
    const RenderResult result = QFileInfo(path).isFile() ? InvalidDataResult() : NotFoundResult();
    LogRenderFailure(kSource, __LINE__, kCall, result);
    throw file_error(CommonMessage(116) + L"[" + file + L"] " + FailedCallText(kCall, result));
}

} // namespace

GlTexture::~GlTexture() {
    OnLostDevice();
}

void GlTexture::Load(const std::wstring& file) {
    fileName_ = file;
    OnLostDevice();
    image_ = QImage();
    image_ = ReadImage(file);
}

void GlTexture::OnLostDevice() {
    if (name_ != 0) {
        if (auto queue = releaseQueue_.lock()) {
            queue->AddTexture(name_);
        }
        name_ = 0;
        deviceId_ = 0;
    }
}

void GlTexture::OnResetDevice() {
    OnLostDevice();
    image_ = ReadImage(fileName_);
}

GLuint GlTexture::Name(GlDevice& device) {
    if (name_ != 0 && deviceId_ == device.Id()) {
        return name_;
    }
    // names of another device died with it
    name_ = 0;
    if (image_.isNull()) {
        return 0;
    }
    name_ = device.MakeTexture(image_, false);
    deviceId_ = device.Id();
    releaseQueue_ = device.ReleaseQueue();
    return name_;
}
