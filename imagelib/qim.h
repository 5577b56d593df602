/* Image scaling library: the image header record and the seven exported
 * entry points. Plain C; every failure is a status in the calling thread's
 * error context (qimGetErrStatus). */
#ifndef QIM_H
#define QIM_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Depths: bits per channel, with the sign flag for the signed ones. */
#define QIM_DEPTH_SIGN ((int)(-2147483647 - 1)) /* 0x80000000 */
#define QIM_DEPTH_1U 1
#define QIM_DEPTH_8U 8
#define QIM_DEPTH_16U 16
#define QIM_DEPTH_32F 32
#define QIM_DEPTH_8S (QIM_DEPTH_SIGN | 8)
#define QIM_DEPTH_16S (QIM_DEPTH_SIGN | 16)
#define QIM_DEPTH_32S (QIM_DEPTH_SIGN | 32)

#define QIM_ORDER_PIXEL 0
#define QIM_ORDER_PLANE 1

#define QIM_ORIGIN_TOP_LEFT 0
#define QIM_ORIGIN_BOTTOM_LEFT 1

#define QIM_ALIGN_4BYTES 4
#define QIM_ALIGN_8BYTES 8
#define QIM_ALIGN_16BYTES 16
#define QIM_ALIGN_32BYTES 32

/* Border modes and the side bits of the border setter. */
#define QIM_BORDER_FILL 0
#define QIM_BORDER_EDGE 1
#define QIM_BORDER_MIRROR 2
#define QIM_BORDER_REPEAT 3

#define QIM_SIDE_TOP_INDEX 0
#define QIM_SIDE_BOTTOM_INDEX 1
#define QIM_SIDE_LEFT_INDEX 2
#define QIM_SIDE_RIGHT_INDEX 3

#define QIM_SIDE_TOP 1
#define QIM_SIDE_BOTTOM 2
#define QIM_SIDE_LEFT 4
#define QIM_SIDE_RIGHT 8
#define QIM_SIDE_ALL 15

/* Release flags of qimDeallocate. */
#define QIM_FREE_HEADER 1
#define QIM_FREE_DATA 2
#define QIM_FREE_ROI 4
#define QIM_FREE_TILE 8
#define QIM_FREE_MASK 16
#define QIM_FREE_ALL 31

/* Interpolation codes of qimResize. */
#define QIM_INTER_NN 0
#define QIM_INTER_LINEAR 1
#define QIM_INTER_CUBIC 2
#define QIM_INTER_SUPER 3

/* Tile callback modes. */
#define QIM_TILE_READ 1
#define QIM_TILE_WRITE 2
#define QIM_TILE_RELEASE 4

/* Error modes: 0 ends the process at the first failure; every other mode
 * returns the status to the caller. */
#define QIM_ERRMODE_EXIT 0
#define QIM_ERRMODE_RETURN 2

/* Statuses. A mask failure is reported as the mask's status less 100. */
#define QIM_STATUS_OK 0
#define QIM_STATUS_BACKTRACE (-1)
#define QIM_STATUS_ERROR (-2)
#define QIM_STATUS_INTERNAL (-3)
#define QIM_STATUS_NO_MEMORY (-4)
#define QIM_STATUS_BAD_ARG (-5)
#define QIM_STATUS_BAD_FUNCTION (-6)
#define QIM_STATUS_NO_CONVERGENCE (-7)
#define QIM_STATUS_AUTOTRACE (-8)
#define QIM_STATUS_HEADER_NULL (-9)
#define QIM_STATUS_BAD_IMAGE_SIZE (-10)
#define QIM_STATUS_BAD_OFFSET (-11)
#define QIM_STATUS_BAD_DATA_PTR (-12)
#define QIM_STATUS_BAD_STEP (-13)
#define QIM_STATUS_BAD_MODEL (-14)
#define QIM_STATUS_BAD_CHANNELS (-15)
#define QIM_STATUS_BAD_CHANNELS_1U (-16)
#define QIM_STATUS_BAD_DEPTH (-17)
#define QIM_STATUS_BAD_ALPHA (-18)
#define QIM_STATUS_BAD_ORDER (-19)
#define QIM_STATUS_BAD_ORIGIN (-20)
#define QIM_STATUS_BAD_ALIGN (-21)
#define QIM_STATUS_BAD_CALLBACK (-22)
#define QIM_STATUS_BAD_TILE_SIZE (-23)
#define QIM_STATUS_BAD_COI (-24)
#define QIM_STATUS_BAD_ROI_SIZE (-25)
#define QIM_STATUS_MASK_TILED (-26)
#define QIM_STATUS_NULL_PTR (-27)
#define QIM_STATUS_BAD_VECTOR_LENGTH (-28)
#define QIM_STATUS_BAD_FILTER (-29)
#define QIM_STATUS_BAD_KERNEL (-30)
#define QIM_STATUS_BAD_FILTER_OFFSET (-31)
#define QIM_STATUS_MASK_OFFSET (-100)
#define QIM_STATUS_MASK_BAD_DEPTH (QIM_STATUS_BAD_DEPTH + QIM_STATUS_MASK_OFFSET)

typedef struct QimImage QimImage;

/* Tile access: makes tile (tileColumn, tileRow) readable or writable and
 * stores its buffer in image->tileInfo->tileData, or releases the tile whose
 * buffer the library has put back into tileData. */
typedef void (*QimTileCallback)(const QimImage* image, int tileColumn, int tileRow, int mode);

typedef struct QimRoi {
    int coi; /* 0 all channels, else 1 .. nChannels */
    int offsetX;
    int offsetY;
    int width;
    int height;
} QimRoi;

typedef struct QimTileInfo {
    QimTileCallback callBack;
    void* tileId;
    void* tileData;
    int width; /* pixels, a multiple of 8 */
    int height;
} QimTileInfo;

/* The header record. Callers fill and read it, so its fields keep this
 * order; headerSize holds sizeof(QimImage) for this platform. */
struct QimImage {
    int headerSize;
    int headerId;
    int nChannels;
    int alphaIndex;
    int depth;
    char colorModelTag[4]; /* not necessarily NUL-terminated */
    char channelOrderTag[4];
    int dataOrder;
    int origin;
    int rowAlign;
    int width;
    int height;
    QimRoi* roi;
    QimImage* mask;
    void* userPointer;
    QimTileInfo* tileInfo;
    int dataSize;
    void* imageData;
    int widthStep;
    int borderModes[4]; /* indexed top, bottom, left, right */
    int borderValues[4];
    void* allocatedData; /* the block qimAllocateImage got, or null */
};

#ifdef __cplusplus
#define QIM_STATIC_ASSERT(cond, text) static_assert(cond, text)
#else
#define QIM_STATIC_ASSERT(cond, text) _Static_assert(cond, text)
#endif

#if defined(__x86_64__)
QIM_STATIC_ASSERT(offsetof(QimImage, headerSize) == 0, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, headerId) == 4, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, nChannels) == 8, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, alphaIndex) == 12, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, depth) == 16, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, colorModelTag) == 20, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, channelOrderTag) == 24, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, dataOrder) == 28, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, origin) == 32, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, rowAlign) == 36, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, width) == 40, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, height) == 44, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, roi) == 48, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, mask) == 56, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, userPointer) == 64, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, tileInfo) == 72, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, dataSize) == 80, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, imageData) == 88, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, widthStep) == 96, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, borderModes) == 100, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, borderValues) == 116, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, allocatedData) == 136, "QimImage layout");
QIM_STATIC_ASSERT(sizeof(QimImage) == 144, "QimImage layout");
QIM_STATIC_ASSERT(sizeof(QimRoi) == 20, "QimRoi layout");
QIM_STATIC_ASSERT(offsetof(QimTileInfo, tileId) == 8, "QimTileInfo layout");
QIM_STATIC_ASSERT(offsetof(QimTileInfo, tileData) == 16, "QimTileInfo layout");
QIM_STATIC_ASSERT(offsetof(QimTileInfo, width) == 24, "QimTileInfo layout");
QIM_STATIC_ASSERT(offsetof(QimTileInfo, height) == 28, "QimTileInfo layout");
#elif defined(__i386__)
/* With 32-bit pointers the record packs into its documented 112 bytes. */
QIM_STATIC_ASSERT(offsetof(QimImage, roi) == 48, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, dataSize) == 64, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, imageData) == 68, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, widthStep) == 72, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, borderModes) == 76, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, borderValues) == 92, "QimImage layout");
QIM_STATIC_ASSERT(offsetof(QimImage, allocatedData) == 108, "QimImage layout");
QIM_STATIC_ASSERT(sizeof(QimImage) == 112, "QimImage layout");
#endif

/* modelText and orderText: up to four bytes are copied, stopping at a NUL. */
QimImage* qimCreateImageHeader(int nChannels, int alphaIndex, int depth, const char* modelText,
                               const char* orderText, int dataOrder, int origin, int rowAlign,
                               int width, int height, QimRoi* roi, QimImage* mask,
                               void* userPointer, QimTileInfo* tileInfo);
void qimAllocateImage(QimImage* image, int fill, int value);
void qimDeallocate(QimImage* image, int flags);
int qimResize(const QimImage* srcImage, QimImage* dstImage, int xDst, int xSrc, int yDst, int ySrc,
              int interpolate);
int qimGetErrStatus(void);
void qimSetErrMode(int mode);
const char* qimErrorStr(int status);

#ifdef __cplusplus
}
#endif

#endif
