// The scripted desktop lands here.
namespace platform {}
