/* Uses the public headers from C99 the way a C program would. */
#include <stdio.h>

#include "QDX_API.h"
#include "QDX_SIM.h"

/* Guards the frame layout, which is the camera's wire format: the library and
 * the simulated camera both take it from the header and would follow a wrong
 * value there, so it is pinned to the numbers the camera sends. */
typedef char frame_layout_is_the_cameras[
    (QDX_FRAME_WIDTH == 404 && QDX_FRAME_HEIGHT == 404 && QDX_FRAME_BYTES == 652864 &&
     QDX_FRAME_START_MARKER0 == 0xFF00 && QDX_FRAME_START_MARKER1 == 0x0080 &&
     QDX_FRAME_END_MARKER0 == 0xFF00 && QDX_FRAME_END_MARKER1 == 0x009D) ? 1 : -1];

int main(void)
{
    unsigned int version = 1;
    unsigned char info[48];
    QDX_HANDLE handle = NULL;
    int status = -1;

    if (QDX_GetVersion(&version) != QDX_OK || version != 0)
        return 1;
    if (QDXSim_Reset() != QDX_OK || QDX_Init() != QDX_OK)
        return 2;
    if (QDX_GetVersion(&version) != QDX_OK || version != 0x01010000u)
        return 3;
    if (QDX_GetDataSemaphoHandle(&handle) != QDX_OK || handle == NULL)
        return 4;
    if (QDX_GetStatus(&status) != QDX_OK || (status & ~QDX_STATUS_CONNECTED) != 0)
        return 5;
    (void)QDX_GetDevInfo(sizeof info, info);
    if (QDX_Term() != QDX_OK)
        return 6;
    puts("ok");
    return 0;
}
