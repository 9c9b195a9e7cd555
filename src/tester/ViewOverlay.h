#pragma once
// What the viewer's tools draw over the world: panels of text rows on a dark ground (the
// key help, the timing panel), the contacts as points with short normal lines, and marks
// such as the recording dot. Its fonts are made at first use, one per text row, so that a
// row drawn every frame is painted once while it does not change.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "collision/Contact.h"
#include "physics/Matrix4.h"

class D3DFont;
class RenderDevice;

class ViewOverlay {
public:
    using Row = std::pair<std::wstring, std::wstring>;

    /// Draws the rows (a left and a right column) on a dark panel whose top-left corner is at
    /// (x, y) in back-buffer pixels; centred on the back buffer when x is negative.
    void DrawPanel(RenderDevice& device, int x, int y, const std::vector<Row>& rows);
    /// Draws each contact as a small cross at its point and a short line along its normal,
    /// coloured by its distance across the contact tolerance band (green at its outer edge,
    /// yellow on the surface, red a band's width deep), over everything, through the world
    /// transform given (world coordinates to the viewer's).
    void DrawContacts(RenderDevice& device, const std::vector<Contact>& contacts, const Matrix4& world,
                      double tolerance);
    /// Fills a disc of the colour (0xAARRGGBB) around (x, y) in back-buffer pixels.
    void DrawDot(RenderDevice& device, int x, int y, int radius, std::uint32_t color);
    /// One line of text, white over a dark shadow, at (x, y); the row picks its font.
    void DrawLine(RenderDevice& device, std::size_t row, const std::wstring& text, int x, int y);

    /// The contact's colour (0xAARRGGBB) for its distance in a band of the tolerance.
    static std::uint32_t DepthColor(double distance, double tolerance);

private:
    D3DFont* Font(std::size_t row);

    std::vector<D3DFont*> fonts_;
};
