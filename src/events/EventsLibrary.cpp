// The events library; its parts each live in a file of their own.
namespace tintara {
int EventsLibraryVersion() { return 1; }
}  // namespace tintara
