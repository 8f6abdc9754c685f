#pragma once
// Pixel-exact drawing routines of the whiteboard: the smooth one-pixel line, airbrush dabs, thin
// lines, the flood fill, stamps and the quadrant axes. They work on 32-bit images (QImage::Format_RGB32)
// and never write outside the image.

#include <QImage>
#include <QBrush>
#include <array>
#include <functional>
#include <utility>
#include <vector>

#include "boardmsg/board_records.h"

namespace orb::board {

inline QRgb ColorRefToRgb(TColorRef c) {
    return qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}
inline TColorRef RgbToColorRef(QRgb c) {
    return TColorRef(qRed(c)) | (TColorRef(qGreen(c)) << 8) | (TColorRef(qBlue(c)) << 16);
}

// Each channel becomes round(w * pen + (1 - w) * old), rounding half to even, in single precision.
QRgb BlendColor(TColorRef pen, QRgb old, float w);

// Calls fn for every point of the line from (x0, y0) towards (x1, y1), the end point excluded.
void LineDDA(int x0, int y0, int x1, int y1, const std::function<void(int, int)>& fn);

// A one-pixel line from (x0, y0) to (x1, y1) without its end point.
void DrawThinLine(QImage& image, int x0, int y0, int x1, int y1, TColorRef colour);

// The anti-aliased one-pixel free-hand segment.
void DrawSmoothLine(QImage& image, int x0, int y0, int x1, int y1, TColorRef colour);

// The soft brush: each dab blends a Size x Size square towards the colour.
class TAirBrush {
public:
    int Size() const { return size_; }
    int Intensity() const { return intensity_; }
    TColorRef Color() const { return color_; }
    // Out-of-range values leave the previous one.
    void SetSize(int size) { if (size >= 1 && size <= 200) size_ = size; }
    void SetIntensity(int intensity) { if (intensity >= 1 && intensity <= 100) intensity_ = intensity; }
    void SetColor(TColorRef c) { color_ = c; }
    void Dab(QImage& image, int x, int y) const;
    // A dab at every point LineDDA gives from (x0, y0) towards (x1, y1), the end point excluded;
    // the tables and the image are set up once for the whole line, and where no dab can come out
    // pure white a pixel under k dabs is blended once, by the table of k dabs.
    void DabLine(QImage& image, int x0, int y0, int x1, int y1) const;
    // A line of dabs kept for later, with the lines kept before it on the same image in the same
    // size, intensity and colour: FlushRun then blends each pixel once, by how many dabs of all of
    // them cover it (the same pixels as drawing them one by one). False when the colour does not
    // allow it (the caller draws the line now). A line in other settings or on another image
    // flushes the run first, as does any other drawing by the brush; whoever draws on or reads
    // the image by other means flushes before.
    bool DeferLine(QImage& image, int x0, int y0, int x1, int y1) const;
    void FlushRun() const;

private:
    void PrepareTable() const;
    // The choice between blending dab by dab and blending each pixel once by its count of dabs.
    bool FoldsPayOff(int64_t dabs) const;
    // No dab can come out pure white: k dabs on a pixel are then the k-fold blend, in any order.
    bool FoldsExact() const;
    void PrepareFolds(int count) const { PrepareFoldsFor(count, intensity_, color_); }
    void PrepareFoldsFor(int count, int intensity, TColorRef colour) const;
    // The tables of 1, 2, 4 ... 2^(count - 1) dabs, for a run's pixels blended by byte permutes.
    void PreparePowersFor(int count, int intensity, TColorRef colour) const;
    void FoldLine(QImage& image, int x0, int y0, int x1, int y1) const;
    int size_ = 40;
    int intensity_ = 50;
    TColorRef color_ = kBlack;
    // The blend of each channel value for the current intensity and colour.
    mutable std::array<std::array<uint8_t, 256>, 3> lut_{};
    mutable int lutIntensity_ = -1;
    mutable TColorRef lutColor_ = 0;
    // Intensity and colour of the last line of dabs.
    mutable int lineIntensity_ = -1;
    mutable TColorRef lineColor_ = 0;
    // Blends of k dabs for k = 1..foldCount_ (768 bytes each: red, green, blue), for foldIntensity_
    // and foldColor_; a line of dabs then blends each pixel once, by how many of its dabs cover it.
    mutable std::vector<uint8_t> folds_;
    mutable int foldCount_ = 0;
    mutable int foldIntensity_ = -1;
    mutable TColorRef foldColor_ = 0;
    // The tables of 2^i dabs for i < powerCount_, as folds_.
    mutable std::vector<uint8_t> powers_;
    mutable int powerCount_ = 0;
    mutable int powerIntensity_ = -1;
    mutable TColorRef powerColor_ = 0;
    // Scratch of a line of dabs: the points whose dab meets the image, and the counts of one row
    // (all zero between lines).
    mutable std::vector<std::pair<int, int>> linePoints_;
    mutable std::vector<int> rowCounts_;
    // The run of kept lines: its image (null: none) and settings, the dabs that meet the image,
    // the box they cover (clipped) and the sum of the boxes of its lines, which bounds the box.
    mutable QImage* runImage_ = nullptr;
    mutable int runWidth_ = 0, runHeight_ = 0, runSize_ = 0, runIntensity_ = 0;
    mutable TColorRef runColor_ = 0;
    mutable std::vector<std::pair<int, int>> runPoints_;
    mutable int runLeft_ = 0, runTop_ = 0, runRight_ = 0, runBottom_ = 0;
    mutable int64_t runLineArea_ = 0;
    // Scratch of a flush: the dabs by row, and each row's columns.
    mutable std::vector<std::pair<int, int>> runSorted_;
    mutable std::vector<int> runBuckets_, runSpans_;
};

// Where the processor has AVX-512 byte permutes, the airbrush's tables of several dabs are built by
// look-ups in the table of one, and a run's pixels are blended by them 64 at a time; false draws as
// on one without (the same tables and pixels).
void AllowByteLanes(bool allowed);

// Fills the 4-connected area that has the colour of (x, y) with the brush. Iterative.
void FloodFillSurface(QImage& image, int x, int y, const QBrush& brush);

// ANDs a stamp into the image with its top-left at (x, y).
void StampAnd(QImage& image, const QImage& stamp, int x, int y);

// Coordinate axes and grid of quadrant 1..4, or of all four when quadrant is 0, drawn by the shared
// axes routine in one-pixel lines.
void DrawQuadrantGrid(QImage& image, int x0, int y0, int width, int step, int quadrant, int height);

// Qt's brush for a wire brush style and colour; the clear style gives Qt::NoBrush.
QBrush MakeBrush(uint8_t style, TColorRef colour);

}  // namespace orb::board
