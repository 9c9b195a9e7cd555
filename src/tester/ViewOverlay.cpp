#include "tester/ViewOverlay.h"

#include <algorithm>
#include <cmath>

#include "framework/D3DObjectManager.h"
#include "framework/RenderDevice.h"

namespace {

/// The panels' font, as the frame rate's.
constexpr int kFontHeight = 12;
constexpr int kPadding = 8;
constexpr int kColumnGap = 16;
constexpr int kRowGap = 2;
constexpr std::uint32_t kPanelColor = 0xB0000000;
constexpr std::uint32_t kTextColor = 0xFFFFFFFF;
constexpr std::uint32_t kShadowColor = 0xFF000000;
/// Half the cross at a contact point and the normal line's length, m before the zoom.
constexpr float kCrossHalf = 0.015f;
constexpr float kNormalLength = 0.08f;

/// A line of text: the mouse rows' texts have their line breaks as blanks.
std::wstring OneLine(std::wstring text) {
    std::replace(text.begin(), text.end(), L'\n', L' ');
    return text;
}

} // namespace

D3DFont* ViewOverlay::Font(std::size_t row) {
    while (fonts_.size() <= row) {
        fonts_.push_back(D3DObjectManager::Instance().CreateFont(L"Ariel", kFontHeight));
    }
    return fonts_[row];
}

void ViewOverlay::DrawLine(RenderDevice& device, std::size_t row, const std::wstring& text, int x, int y) {
    D3DFont* font = Font(row);
    device.DrawText(font, text, x + 1, y + 1, kShadowColor);
    device.DrawText(font, text, x, y, kTextColor);
}

void ViewOverlay::DrawPanel(RenderDevice& device, int x, int y, const std::vector<Row>& rows) {
    // measure both columns; each text keeps its own font (left texts even rows, right odd)
    int leftWidth = 0;
    int rightWidth = 0;
    int rowHeight = kFontHeight + 4;
    std::vector<Row> lines;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        lines.emplace_back(OneLine(rows[row].first), OneLine(rows[row].second));
        int width = 0;
        int height = 0;
        if (device.TextExtent(Font(2 * row), lines.back().first, width, height)) {
            leftWidth = std::max(leftWidth, width);
            rowHeight = std::max(rowHeight, height);
        }
        if (device.TextExtent(Font(2 * row + 1), lines.back().second, width, height)) {
            rightWidth = std::max(rightWidth, width);
            rowHeight = std::max(rowHeight, height);
        }
    }
    const int width = kPadding * 2 + leftWidth + kColumnGap + rightWidth;
    const int height = kPadding * 2 + static_cast<int>(rows.size()) * (rowHeight + kRowGap);
    if (x < 0) {
        x = std::max(0, (device.Width() - width) / 2);
        y = std::max(0, (device.Height() - height) / 2);
    }

    // the dark ground, then the rows
    const auto left = static_cast<float>(x);
    const auto top = static_cast<float>(y);
    const auto right = static_cast<float>(x + width);
    const auto bottom = static_cast<float>(y + height);
    const TileVertex ground[4] = {{left, top, 0.0f, kPanelColor, 0.0f, 0.0f},
                                  {left, bottom, 0.0f, kPanelColor, 0.0f, 0.0f},
                                  {right, top, 0.0f, kPanelColor, 0.0f, 0.0f},
                                  {right, bottom, 0.0f, kPanelColor, 0.0f, 0.0f}};
    device.DrawScreenStrip(ground, 4);
    for (std::size_t row = 0; row < lines.size(); ++row) {
        const int rowTop = y + kPadding + static_cast<int>(row) * (rowHeight + kRowGap);
        device.DrawText(Font(2 * row), lines[row].first, x + kPadding, rowTop, kTextColor);
        device.DrawText(Font(2 * row + 1), lines[row].second, x + kPadding + leftWidth + kColumnGap, rowTop,
                        kTextColor);
    }
}

std::uint32_t ViewOverlay::DepthColor(double distance, double tolerance) {
    // 0 at the band's outer edge, 1/2 on the surface, 1 a band's width deep
    double depth = tolerance > 0.0 ? (tolerance - distance) / (2.0 * tolerance) : 0.5;
    depth = std::isfinite(depth) ? std::clamp(depth, 0.0, 1.0) : 1.0;
    const auto red = static_cast<std::uint32_t>(std::lround(255.0 * std::min(1.0, 2.0 * depth)));
    const auto green = static_cast<std::uint32_t>(std::lround(255.0 * std::min(1.0, 2.0 * (1.0 - depth))));
    return 0xFF000000u | (red << 16) | (green << 8);
}

void ViewOverlay::DrawContacts(RenderDevice& device, const std::vector<Contact>& contacts,
                               const Matrix4& world, double tolerance) {
    if (contacts.empty()) {
        return;
    }
    std::vector<TileVertex> lines;
    lines.reserve(contacts.size() * 8);
    auto add = [&lines](const Vector3& from, const Vector3& to, std::uint32_t color) {
        lines.push_back({from.x, from.y, from.z, color, 0.0f, 0.0f});
        lines.push_back({to.x, to.y, to.z, color, 0.0f, 0.0f});
    };
    for (const Contact& contact : contacts) {
        const std::uint32_t color = DepthColor(contact.distance, tolerance);
        const Vector3& p = contact.point;
        add(p - Vector3(kCrossHalf, 0, 0), p + Vector3(kCrossHalf, 0, 0), color);
        add(p - Vector3(0, kCrossHalf, 0), p + Vector3(0, kCrossHalf, 0), color);
        add(p - Vector3(0, 0, kCrossHalf), p + Vector3(0, 0, kCrossHalf), color);
        add(p, p + contact.normal * kNormalLength, color);
    }
    // over the items that hide them, and without shadows
    device.SetTransform(TransformState::world, world);
    device.SetTexture(0, nullptr);
    device.SetRenderState(RenderState::zEnable, 0);
    device.DrawLineList(lines.data(), static_cast<int>(lines.size()));
    device.SetRenderState(RenderState::zEnable, 1);
}

void ViewOverlay::DrawDot(RenderDevice& device, int x, int y, int radius, std::uint32_t color) {
    // a strip down the disc's columns, from its top edge to its bottom edge
    std::vector<TileVertex> strip;
    constexpr int kColumns = 16;
    for (int column = 0; column <= kColumns; ++column) {
        const double along = -1.0 + 2.0 * column / kColumns;
        const double half = std::sqrt(std::max(0.0, 1.0 - along * along)) * radius;
        const auto px = static_cast<float>(x + along * radius);
        strip.push_back({px, static_cast<float>(y - half), 0.0f, color, 0.0f, 0.0f});
        strip.push_back({px, static_cast<float>(y + half), 0.0f, color, 0.0f, 0.0f});
    }
    device.DrawScreenStrip(strip.data(), static_cast<int>(strip.size()));
}
