// The plug-in's version and names, defined once for the code and the resources.
#pragma once

#define TAVELIN_VERSION_MAJOR 0
#define TAVELIN_VERSION_MINOR 3
#define TAVELIN_VERSION_TEXT "0.03"
#define TAVELIN_DISPLAY_NAME "Tavelin"
#define TAVELIN_MAKER "Orvend"
#define TAVELIN_INFORMATION TAVELIN_DISPLAY_NAME " version " TAVELIN_VERSION_TEXT " by " TAVELIN_MAKER
