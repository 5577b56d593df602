/* Image headers: creation, pixel allocation, release and validation, and the
 * aligned allocator for the library's records. */
#include "qimown.h"

#include <limits.h>
#include <pthread.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

/* ---- Aligned allocator ---------------------------------------------------
 * Every block handed out is recorded, so that releasing a record the caller
 * allocated itself (a ROI on the stack, a header from malloc) leaves it alone
 * instead of freeing memory the library never owned. */

#define QIM_BLOCK_ALIGN 32
#define SLOT_EMPTY ((uintptr_t)0)
#define SLOT_GONE ((uintptr_t)1) /* never a 32-byte-aligned address */

static pthread_mutex_t blockLock = PTHREAD_MUTEX_INITIALIZER;
static uintptr_t* blockSlots;
static size_t blockCapacity; /* a power of two, or 0 */
static size_t blockUsed;     /* live and removed slots */
static size_t blockLive;

static size_t slotIndex(uintptr_t key, size_t capacity)
{
    uint64_t h = (uint64_t)(key >> 5) * 0x9E3779B97F4A7C15ull;
    return (size_t)(h >> 32) & (capacity - 1);
}

static int blockTableGrow(void)
{
    size_t capacity = 64;
    while (capacity / 2 < blockLive + 1)
        capacity *= 2;
    uintptr_t* slots = calloc(capacity, sizeof *slots);
    if (!slots)
        return 0;
    for (size_t i = 0; i < blockCapacity; ++i) {
        uintptr_t key = blockSlots[i];
        if (key == SLOT_EMPTY || key == SLOT_GONE)
            continue;
        size_t j = slotIndex(key, capacity);
        while (slots[j] != SLOT_EMPTY)
            j = (j + 1) & (capacity - 1);
        slots[j] = key;
    }
    free(blockSlots);
    blockSlots = slots;
    blockCapacity = capacity;
    blockUsed = blockLive;
    return 1;
}

static int blockRecord(void* block)
{
    int ok = 1;
    pthread_mutex_lock(&blockLock);
    if ((blockUsed + 1) * 4 > blockCapacity * 3)
        ok = blockTableGrow();
    if (ok) {
        uintptr_t key = (uintptr_t)block;
        size_t j = slotIndex(key, blockCapacity);
        while (blockSlots[j] != SLOT_EMPTY && blockSlots[j] != SLOT_GONE)
            j = (j + 1) & (blockCapacity - 1);
        if (blockSlots[j] == SLOT_EMPTY)
            ++blockUsed;
        blockSlots[j] = key;
        ++blockLive;
    }
    pthread_mutex_unlock(&blockLock);
    return ok;
}

/* Removes the block from the record; 0 when it was not there. */
static int blockForget(void* block)
{
    int found = 0;
    pthread_mutex_lock(&blockLock);
    if (blockCapacity) {
        uintptr_t key = (uintptr_t)block;
        size_t j = slotIndex(key, blockCapacity);
        while (blockSlots[j] != SLOT_EMPTY) {
            if (blockSlots[j] == key) {
                blockSlots[j] = SLOT_GONE;
                --blockLive;
                found = 1;
                break;
            }
            j = (j + 1) & (blockCapacity - 1);
        }
    }
    pthread_mutex_unlock(&blockLock);
    return found;
}

void* ownAlignedMalloc(long long size)
{
    if (size <= 0 || (unsigned long long)size > SIZE_MAX - QIM_BLOCK_ALIGN)
        return NULL;
    size_t rounded = ((size_t)size + QIM_BLOCK_ALIGN - 1) & ~(size_t)(QIM_BLOCK_ALIGN - 1);
    void* block = aligned_alloc(QIM_BLOCK_ALIGN, rounded);
    if (block && !blockRecord(block)) {
        free(block);
        block = NULL;
    }
    return block;
}

void ownAlignedFree(void* block)
{
    if (block && blockForget(block))
        free(block);
}

/* ---- Row formulas ---------------------------------------------------------- */

int ownDepthBits(int depth)
{
    return depth & INT_MAX;
}

/* Results above this mean "does not fit"; far below any 64-bit overflow. */
#define ROW_STEP_LIMIT (1LL << 40)

long long ownRowStep64(int dataOrder, int depth, int rowAlign, int nChannels, int width)
{
    long long depthBits = ownDepthBits(depth);
    if (width <= 0 || nChannels <= 0 || rowAlign <= 0 || depthBits <= 0)
        return -1;
    long long bits = (long long)width * depthBits; /* below 2^63 */
    if (dataOrder == QIM_ORDER_PIXEL) {
        if (bits > ROW_STEP_LIMIT * 8 / nChannels)
            return ROW_STEP_LIMIT + 1;
        bits *= nChannels;
    }
    if (bits > ROW_STEP_LIMIT * 8)
        return ROW_STEP_LIMIT + 1;
    long long a = (long long)rowAlign * 8;
    return (bits + a - 1) / a * a / 8;
}

/* widthStep and dataSize of a header by the creation formulas; 0, or -10
 * when either does not fit into its int field. */
static int computeSizes(int dataOrder, int depth, int rowAlign, int nChannels, int width,
                        int height, int* widthStep, int* dataSize)
{
    long long step = ownRowStep64(dataOrder, depth, rowAlign, nChannels, width);
    if (step <= 0 || step > INT_MAX)
        return QIM_STATUS_BAD_IMAGE_SIZE;
    long long size = step * height; /* both below 2^31 */
    if (dataOrder == QIM_ORDER_PLANE) {
        if (size > INT_MAX / nChannels)
            return QIM_STATUS_BAD_IMAGE_SIZE;
        size *= nChannels;
    }
    if (size > INT_MAX)
        return QIM_STATUS_BAD_IMAGE_SIZE;
    *widthStep = (int)step;
    *dataSize = (int)size;
    return 0;
}

/* ---- Checks ---------------------------------------------------------------- */

static int isDepth(int depth)
{
    return depth == QIM_DEPTH_1U || depth == QIM_DEPTH_8U || depth == QIM_DEPTH_16U ||
           depth == QIM_DEPTH_32F || depth == QIM_DEPTH_8S || depth == QIM_DEPTH_16S ||
           depth == QIM_DEPTH_32S;
}

static int checkMask(const QimImage* mask)
{
    if (!mask)
        return 0;
    if (mask->depth != QIM_DEPTH_1U)
        return QIM_STATUS_MASK_BAD_DEPTH;
    if (mask->tileInfo)
        return QIM_STATUS_MASK_TILED;
    int status = ownCheckImageHeader(mask);
    return status ? status + QIM_STATUS_MASK_OFFSET : 0;
}

/* The field checks shared by creation, allocation and validation, first
 * failure wins; the colour-model check only when checkTags is set. */
static int checkFields(int nChannels, int alphaIndex, int depth, int checkTags,
                       const char* modelText, const char* orderText, int dataOrder, int origin,
                       int rowAlign, int width, int height, const QimImage* mask)
{
    if (width <= 0 || height <= 0)
        return QIM_STATUS_BAD_IMAGE_SIZE;
    if (nChannels <= 0)
        return QIM_STATUS_BAD_CHANNELS;
    if (nChannels != 1 && depth == QIM_DEPTH_1U)
        return QIM_STATUS_BAD_CHANNELS_1U;
    if (checkTags && (!modelText || !orderText))
        return QIM_STATUS_BAD_MODEL;
    if (!isDepth(depth))
        return QIM_STATUS_BAD_DEPTH;
    if (alphaIndex != 0 && alphaIndex != nChannels)
        return QIM_STATUS_BAD_ALPHA;
    if (dataOrder != QIM_ORDER_PIXEL && dataOrder != QIM_ORDER_PLANE)
        return QIM_STATUS_BAD_ORDER;
    if (origin != QIM_ORIGIN_TOP_LEFT && origin != QIM_ORIGIN_BOTTOM_LEFT)
        return QIM_STATUS_BAD_ORIGIN;
    if (rowAlign != 4 && rowAlign != 8 && rowAlign != 16 && rowAlign != 32)
        return QIM_STATUS_BAD_ALIGN;
    return checkMask(mask);
}

static int checkHeaderFields(const QimImage* image)
{
    return checkFields(image->nChannels, image->alphaIndex, image->depth, 0, NULL, NULL,
                       image->dataOrder, image->origin, image->rowAlign, image->width,
                       image->height, image->mask);
}

/* A caller that wraps its own pixels sets widthStep itself: rows must not
 * overlap (the kernels read a whole row from each step) and must start on a
 * whole element of the 16- and 32-bit depths. */
static int stepHoldsRow(const QimImage* image)
{
    const int bits = ownDepthBits(image->depth);
    const long long rowBits = (long long)image->width * bits *
                              (image->dataOrder == QIM_ORDER_PIXEL ? image->nChannels : 1);
    if (image->widthStep < (rowBits + 7) / 8)
        return 0;
    return bits < 16 || image->widthStep % (bits / 8) == 0;
}

/* Fields changed after allocation must not lead past the pixel block: every
 * row (of every plane) lies within dataSize bytes. */
static int rowsFitData(const QimImage* image)
{
    const long long planes = image->dataOrder == QIM_ORDER_PLANE ? image->nChannels : 1;
    return (long long)image->widthStep * image->height * planes <= image->dataSize;
}

/* Masks of masks are checked in turn, so a chain that loops back (an image
 * that is its own mask) would never end; chains longer than any use has for
 * them are refused with the loops. */
enum { MASK_CHAIN_LIMIT = 16 };

static int maskChainEnds(const QimImage* image)
{
    for (int n = 0; image && n <= MASK_CHAIN_LIMIT; ++n)
        image = image->mask;
    return image == NULL;
}

static int checkHeader(const QimImage* image)
{
    if (!image)
        return QIM_STATUS_HEADER_NULL;
    if (!maskChainEnds(image))
        return QIM_STATUS_BAD_ARG;
    if (!image->imageData == !image->tileInfo)
        return QIM_STATUS_BAD_DATA_PTR;
    if (!image->tileInfo && image->dataSize <= 0)
        return QIM_STATUS_BAD_IMAGE_SIZE;
    if (!image->tileInfo && image->widthStep <= 0)
        return QIM_STATUS_BAD_STEP;
    int status = checkHeaderFields(image);
    if (status)
        return status;
    if (!image->tileInfo && !stepHoldsRow(image))
        return QIM_STATUS_BAD_STEP;
    if (!image->tileInfo && !rowsFitData(image))
        return QIM_STATUS_BAD_IMAGE_SIZE;
    const QimTileInfo* tile = image->tileInfo;
    if (tile) {
        if (!tile->callBack)
            return QIM_STATUS_BAD_CALLBACK;
        if (tile->width <= 0 || tile->height <= 0 || tile->width % 8 || tile->height % 8)
            return QIM_STATUS_BAD_TILE_SIZE;
        /* One tile's bytes, like an image's, must fit the int sizes the
         * library computes for it. */
        int tileStep, tileSize;
        if (computeSizes(image->dataOrder, image->depth, image->rowAlign, image->nChannels,
                         tile->width, tile->height, &tileStep, &tileSize))
            return QIM_STATUS_BAD_TILE_SIZE;
    }
    const QimRoi* roi = image->roi;
    if (roi) {
        if (roi->coi < 0 || roi->coi > image->nChannels)
            return QIM_STATUS_BAD_COI;
        if (roi->width <= 0 || roi->height <= 0)
            return QIM_STATUS_BAD_ROI_SIZE;
        if (roi->offsetX < 0 || roi->offsetY < 0)
            return QIM_STATUS_BAD_OFFSET;
    }
    return 0;
}

int ownCheckImageHeader(const QimImage* image)
{
    int status = checkHeader(image);
    if (status)
        ownSetErrStatus(status);
    return status;
}

/* ---- Exported functions ---------------------------------------------------- */

/* Up to four bytes of a tag; a shorter text ends at its NUL, which is not
 * read past. */
static void copyTag(char tag[4], const char* text)
{
    size_t i = 0;
    for (; i < 4 && text[i]; ++i)
        tag[i] = text[i];
    for (; i < 4; ++i)
        tag[i] = 0;
}

QimImage* qimCreateImageHeader(int nChannels, int alphaIndex, int depth, const char* modelText,
                               const char* orderText, int dataOrder, int origin, int rowAlign,
                               int width, int height, QimRoi* roi, QimImage* mask,
                               void* userPointer, QimTileInfo* tileInfo)
{
    int widthStep = 0, dataSize = 0;
    int status = checkFields(nChannels, alphaIndex, depth, 1, modelText, orderText, dataOrder,
                             origin, rowAlign, width, height, mask);
    if (!status)
        status = computeSizes(dataOrder, depth, rowAlign, nChannels, width, height, &widthStep,
                              &dataSize);
    if (status) {
        ownRaiseError(status, "qimCreateImageHeader", "Incorrect data-ins", "qimalloc", __LINE__);
        return NULL;
    }
    QimImage* image = ownAlignedMalloc(sizeof(QimImage));
    if (!image)
        return NULL;
    memset(image, 0, sizeof *image);
    image->headerSize = (int)sizeof(QimImage);
    image->headerId = 0;
    image->nChannels = nChannels;
    image->alphaIndex = alphaIndex;
    image->depth = depth;
    copyTag(image->colorModelTag, modelText);
    copyTag(image->channelOrderTag, orderText);
    image->dataOrder = dataOrder;
    image->origin = origin;
    image->rowAlign = rowAlign;
    image->width = width;
    image->height = height;
    image->roi = roi;
    image->mask = mask;
    image->userPointer = userPointer;
    image->tileInfo = tileInfo;
    image->imageData = NULL;
    image->allocatedData = NULL;
    image->widthStep = widthStep;
    image->dataSize = dataSize;
    ownSetBorderMode(image, QIM_BORDER_FILL, QIM_SIDE_ALL, 0);
    return image;
}

static void allocRefused(const char* context, int line)
{
    ownRaiseError(QIM_STATUS_BAD_ARG, "qimAllocateImage", context, "qimalloc", line);
}

void qimAllocateImage(QimImage* image, int fill, int value)
{
    if (!image) {
        allocRefused("( image == ((void *)0) )", __LINE__);
        return;
    }
    if (image->imageData) {
        allocRefused("( image->imageData != ((void *)0) )", __LINE__);
        return;
    }
    if (image->tileInfo) {
        allocRefused("( image->tileInfo != ((void *)0) )", __LINE__);
        return;
    }
    if (image->depth == QIM_DEPTH_32F) {
        allocRefused("( image->depth == 32 )", __LINE__);
        return;
    }
    int widthStep = 0, dataSize = 0;
    int status = checkHeaderFields(image);
    if (!status)
        status = computeSizes(image->dataOrder, image->depth, image->rowAlign, image->nChannels,
                              image->width, image->height, &widthStep, &dataSize);
    if (status) {
        ownRaiseError(status, "qimAllocateImage", "Incorrect data-ins", "qimalloc", __LINE__);
        return;
    }
    image->widthStep = widthStep;
    image->dataSize = dataSize;

    unsigned char* block = malloc((size_t)image->rowAlign + (size_t)dataSize - 1);
    if (!block) {
        ownRaiseError(QIM_STATUS_NO_MEMORY, "qimAllocateImage", "for allocate image data",
                      "qimalloc", __LINE__);
        return;
    }
    uintptr_t align = (uintptr_t)image->rowAlign;
    uintptr_t first = ((uintptr_t)block + align - 1) & ~(align - 1);
    image->allocatedData = block;
    image->imageData = block + (first - (uintptr_t)block);

    if (fill) {
        uint32_t word = ownFillWord(image->depth, value);
        uint32_t* words = image->imageData;
        for (int i = 0, n = dataSize / 4; i < n; ++i)
            words[i] = word;
    }
}

void qimDeallocate(QimImage* image, int flags)
{
    if (!image)
        return;
    if ((flags & QIM_FREE_ROI) && image->roi) {
        ownAlignedFree(image->roi);
        image->roi = NULL;
    }
    if ((flags & QIM_FREE_MASK) && image->mask) {
        qimDeallocate(image->mask, QIM_FREE_HEADER | QIM_FREE_DATA | QIM_FREE_ROI | QIM_FREE_TILE);
        image->mask = NULL;
    }
    if ((flags & QIM_FREE_TILE) && image->tileInfo) {
        ownAlignedFree(image->tileInfo);
        image->tileInfo = NULL;
    }
    if ((flags & QIM_FREE_DATA) && image->allocatedData) {
        free(image->allocatedData);
        image->allocatedData = NULL;
        image->imageData = NULL;
    }
    if (flags & QIM_FREE_HEADER)
        ownAlignedFree(image);
}
