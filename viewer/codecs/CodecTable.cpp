#include "CodecModule.h"

extern "C" __attribute__((visibility("default"))) const qdx::viewer::CodecTable* qdx_codec_table()
{
    static const qdx::viewer::CodecTable table{qdx::viewer::kCodecTableVersion, &qdx::viewer::newFfvEncoder,
                                               &qdx::viewer::writeTiffPicture};
    return &table;
}
