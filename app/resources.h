// The compiled-in images (toolbar strip, cursors, icon) live in a static
// library, so they must be registered before first use.
#pragma once

// Registers the resources once; later calls do nothing.
namespace brelvix::app {

void InitBrelvixResources();

}  // namespace brelvix::app
