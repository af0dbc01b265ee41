// Per-user base folders of the XDG base directory scheme.
//
// Each call reads the environment at that moment, so tests (and the program)
// may change XDG_CONFIG_HOME, XDG_DATA_HOME or HOME at any time.
#pragma once

#include <string>

namespace brelvix::platform {

// The user's home folder: $HOME when it is set and not empty, else the home
// folder of the password database entry of the real user id. Empty when
// neither gives one.
std::string HomeDirectory();

// $XDG_CONFIG_HOME when it is set to an absolute path, else $HOME/.config.
// A relative value is ignored, as the scheme requires. Empty when there is no
// home folder either. The folder need not exist.
std::string XdgConfigHome();

// $XDG_DATA_HOME when it is set to an absolute path, else $HOME/.local/share.
// Empty when there is no home folder either. The folder need not exist.
std::string XdgDataHome();

}  // namespace brelvix::platform
