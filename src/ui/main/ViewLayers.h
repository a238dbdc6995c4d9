#pragma once

// The five working pictures of the main window and the steps that turn the raw
// photograph and topographic map into the picture on the screen. Each step can be
// limited to the part of the view that changed: a tile that arrives touches only its
// own pixels, and brightness, stretch and blend are local.

#include <cstdint>
#include <vector>

#include "imagery/Bitmap24.h"
#include "imagery/ImageSupport.h"

namespace quorvil {

// The brightness slider's position (0..14) as the level AdjustBrightness takes.
std::uint8_t BrightnessLevel(int position);
// The overlay slider's position (0..127) as the blend's opacity: 2 x position, and full
// opacity at the last position.
std::uint8_t OverlayOpacity(int position);

class TViewLayers {
 public:
  TBitmap24 PhotoBitmap;        // photograph tiles as drawn
  TBitmap24 TopoBitmap;         // topographic tiles as drawn; half size at zoom level 10
  TBitmap24 BrightPhotoBitmap;  // the photograph with the brightness applied
  TBitmap24 TopoViewBitmap;     // the topographic map stretched to the view, unless one to one
  TBitmap24 CompositeBitmap;    // what the view shows
  // Areas of TopoBitmap where the service has no map: the photograph shows there unblended,
  // so that a missing map does not darken it.
  std::vector<TPixelArea> TopoGaps;
  // A half-size topographic map is stretched with bilinear filtering rather than by
  // repeating its pixels.
  bool SmoothTopo = false;

  // Sizes the pictures for a view of width x height; the topographic picture is
  // (width div 2) x (height div 2) when halfTopo. Content stays anchored at the top-left
  // corner; pixels that a picture gains are black.
  void Resize(int width, int height, bool halfTopo);
  // The photograph and the topographic map become black; no gaps are known.
  void ClearMosaics();
  // Moves the photograph by (dx, dy) and the topographic map by (dx div 2, dy div 2)
  // when halfTopo, else by (dx, dy); uncovered pixels become black. Gaps move along.
  void ShiftMosaics(int dx, int dy, bool halfTopo);

  // What a pan leaves to be worked out again after ShiftLayers.
  struct TShift {
    bool Whole = false;            // nothing could be moved exactly: prepare and compose all
    bool WholeComposite = false;   // the map moved by half a pixel against the photograph
    std::vector<TPixelArea> Redo;  // view areas to prepare and compose again
  };
  // ShiftMosaics, and the derived pictures moved along with them where that gives the
  // same pixels as working them out again; the composite is moved only when `paperMap`
  // blends a map that moved as far as the photograph.
  TShift ShiftLayers(int dx, int dy, bool halfTopo, bool paperMap);

  // The brightened photograph and the stretched topographic map, inside the area.
  void PrepareLayers(std::uint8_t brightnessLevel, const TPixelArea& area);
  // The composite inside the area: the brightened photograph, with the stretched
  // topographic map blended over it at the opacity when paperMap, except in its gaps.
  void ComposeOverlay(bool paperMap, std::uint8_t opacity, const TPixelArea& area);

  int Width() const { return PhotoBitmap.Width(); }
  int Height() const { return PhotoBitmap.Height(); }
  TPixelArea Whole() const { return {0, 0, Width(), Height()}; }
  // The view pixels whose stretched topographic pixel lies in the area of TopoBitmap
  // (smoothly stretched: that the area's pixels reach).
  TPixelArea TopoViewAreaOf(const TPixelArea& topoArea) const;
  // The topographic map as the view shows it: at the view's size it is its own stretch,
  // which is then never copied.
  bool OneToOne() const { return TopoBitmap.Width() == Width() && TopoBitmap.Height() == Height(); }
  const TBitmap24& TopoView() const { return OneToOne() ? TopoBitmap : TopoViewBitmap; }
  bool SmoothStretch() const {
    return SmoothTopo && TopoBitmap.Width() > 0 && TopoBitmap.Width() == Width() / 2 &&
           TopoBitmap.Height() == Height() / 2;
  }
};

// The smallest area holding both (an empty area adds nothing).
TPixelArea UniteAreas(const TPixelArea& a, const TPixelArea& b);

}  // namespace quorvil
