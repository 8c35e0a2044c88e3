#pragma once

// The types and style singletons the scene imports, registered once for the
// window and for every suite that loads the scene, so that both see the same
// names and versions.
void registerSceneTypes();
