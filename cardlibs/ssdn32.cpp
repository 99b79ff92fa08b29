// Stand-in of the SST card driver file that the C2A library loads by path.

#include "cardlibs/StandIn.h"

ORV_CARDLIB_EXPORT int SSDN_DriverInfo()
{
    return 1;
}
