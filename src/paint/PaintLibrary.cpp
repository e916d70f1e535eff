// The paint library's first translation unit; the pen tips, tones and renderer join it.
namespace tintara {
int PaintLibraryVersion() { return 1; }
}  // namespace tintara
