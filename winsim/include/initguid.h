// Simulated Windows SDK: on Windows, including this before an interface header
// defines that header's GUIDs in the including unit. The simulated library
// defines its GUIDs itself, so there is nothing to do here.
#pragma once
