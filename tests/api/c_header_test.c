/* Uses the public headers from C99 the way a C program would. */
#include <stdio.h>

#include "QDX_API.h"
#include "QDX_SIM.h"

int main(void)
{
    unsigned int version = 1;
    unsigned char info[48];
    QDX_HANDLE handle = NULL;
    int status = -1;

    if (QDX_GetVersion(&version) != 0 || version != 0)
        return 1;
    if (QDXSim_Reset() != 0 || QDX_Init() != 0)
        return 2;
    if (QDX_GetVersion(&version) != 0 || version != 0x01010000u)
        return 3;
    if (QDX_GetDataSemaphoHandle(&handle) != 0 || handle == NULL)
        return 4;
    if (QDX_GetStatus(&status) != 0 || (status != 0 && status != 1))
        return 5;
    (void)QDX_GetDevInfo(sizeof info, info);
    if (QDX_Term() != 0)
        return 6;
    puts("ok");
    return 0;
}
