#pragma once
// Pixels handed to GL as packed RGBA rows, whatever unpacking state the caller left: an alignment of
// 8 or a row length would shear the picture. Set for the scope of one of these, restored after.
class PackedUnpacking {
 public:
  PackedUnpacking();
  ~PackedUnpacking();
  PackedUnpacking(const PackedUnpacking&) = delete;
  PackedUnpacking& operator=(const PackedUnpacking&) = delete;
};
