// Icons and image lists: small pictures with see-through parts, drawn on any canvas.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Controls.h"

// A picture with see-through parts, as an icon file holds it.
class TIcon : public TObject {
 public:
  TIcon();
  ~TIcon() override;
  TIcon(const TIcon& o);
  TIcon& operator=(const TIcon& o);
  // Reads an icon file (.ico, or any picture format); false, and the icon unchanged, when the
  // file cannot be read or holds no picture. Of several sizes in one file the one nearest to
  // wanted x wanted pixels is taken (the largest when wanted is 0).
  bool LoadFromFile(const std::string& path, int wanted = 16);
  int Width() const;
  int Height() const;
  bool Empty() const { return Width() == 0; }

  struct Impl;
  Impl* impl() const { return impl_.get(); }

 private:
  std::unique_ptr<Impl> impl_;
};

// A list of pictures of one size (16 x 16 unless made otherwise), addressed by index from 0.
// A picture of another size is scaled to it when added.
class TImageList : public TComponent {
 public:
  explicit TImageList(TComponent* owner, int width = 16, int height = 16);
  ~TImageList() override;
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Count() const { return static_cast<int>(images_.size()); }
  // Each returns the new picture's index.
  int AddIcon(const TIcon& icon);
  // A picture whose pixels of the transparent colour are left out.
  int AddMasked(const TBitmap& picture, TColor transparent);
  void Delete(int index);
  void Clear();
  // Draws picture index with its top-left corner at (x, y); a disabled picture is drawn greyed.
  // An index outside the list draws nothing.
  void Draw(TCanvas* canvas, int x, int y, int index, bool enabled = true) const;

 private:
  int width_, height_;
  struct Picture;
  std::vector<std::unique_ptr<Picture>> images_;
};
