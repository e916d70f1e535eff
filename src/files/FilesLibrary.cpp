// The files library; its parts each live in a file of their own.
namespace tintara {
int FilesLibraryVersion() { return 1; }
}  // namespace tintara
