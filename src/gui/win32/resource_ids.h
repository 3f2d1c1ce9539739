// Identifiers of the executable's resources, shared by the resource script
// and the code.
#pragma once

// The application icon; the lowest icon identifier is the one Explorer shows.
#define IDI_APPLICATION_ICON 1
// The refresh button's picture, as the GIF file it is kept in.
#define IDR_REFRESH_PICTURE 101
