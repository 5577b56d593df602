/* Bitwise AND of two images into a third, with regions of interest, channel
 * of interest, alpha channels, write masks and tiled images. Either source may
 * be the destination itself. */
#include "qimown.h"

#include <stdint.h>
#include <string.h>

typedef struct AndRect {
    int x, y, width, height;
} AndRect;

/* Channels that take part: 1 with a channel of interest, else the colour
 * channels (the alpha channel excluded). */
static int colourChannels(const QimImage* image)
{
    if (image->roi && image->roi->coi > 0)
        return 1;
    return image->nChannels - (image->alphaIndex ? 1 : 0);
}

static int channelIndex(const QimImage* image)
{
    return image->roi && image->roi->coi > 0 ? image->roi->coi - 1 : 0;
}

/* The region clipped to the image (never negative in size). */
static void ownAndRoiRect(const QimImage* image, AndRect* rect)
{
    if (!image->roi) {
        rect->x = rect->y = 0;
        rect->width = image->width;
        rect->height = image->height;
        return;
    }
    const QimRoi* roi = image->roi;
    long long w = image->width - (long long)roi->offsetX;
    long long h = image->height - (long long)roi->offsetY;
    rect->x = roi->offsetX;
    rect->y = roi->offsetY;
    rect->width = (int)(roi->width < w ? roi->width : (w > 0 ? w : 0));
    rect->height = (int)(roi->height < h ? roi->height : (h > 0 ? h : 0));
}

/* The region's first element for channel index c of an untiled image. */
static unsigned char* ownAndRegion(const QimImage* image, int* width, int* height, int c,
                                   int* bitPosition)
{
    AndRect rect;
    ownAndRoiRect(image, &rect);
    *width = rect.width;
    *height = rect.height;
    long long bits = ownDepthBits(image->depth);
    long long step = image->widthStep;
    long long offset;
    if (image->dataOrder == QIM_ORDER_PIXEL)
        offset = rect.y * step + ((c + (long long)rect.x * image->nChannels) * bits) / 8;
    else
        offset = (rect.y + (long long)c * image->height) * step + (rect.x * bits) / 8;
    *bitPosition = image->depth == QIM_DEPTH_1U ? rect.x % 8 : 0;
    return (unsigned char*)image->imageData + offset;
}

/* ---- 1U rows ------------------------------------------------------------------ */

/* n (1..8) bits from bit position pos of a row, most significant first, in the
 * top bits of the result; reads no byte beyond the last bit wanted. */
static unsigned fetchBits(const unsigned char* row, long long pos, int n)
{
    long long i = pos >> 3;
    int s = (int)(pos & 7);
    unsigned v = (unsigned)row[i] << s;
    if (s + n > 8)
        v |= row[i + 1] >> (8 - s);
    return v & 0xFFu;
}

static void ownAndBitRows(const unsigned char* a, const unsigned char* b, unsigned char* d,
                          int aBit, int bBit, int dBit, int width, int height, long long aStep,
                          long long bStep, long long dStep)
{
    for (int r = 0; r < height; ++r, a += aStep, b += bStep, d += dStep) {
        int x = 0;
        long long byte = 0;
        int lo = dBit;
        while (x < width) {
            int n = 8 - lo;
            if (n > width - x)
                n = width - x;
            int hi = lo + n - 1;
            unsigned v = (fetchBits(a, aBit + x, n) & fetchBits(b, bBit + x, n)) >> lo;
            unsigned keep = (0xFFu >> lo) & (0xFFu << (7 - hi)) & 0xFFu;
            d[byte] = (unsigned char)((d[byte] & ~keep) | (v & keep));
            x += n;
            ++byte;
            lo = 0;
        }
    }
}

static int bitAt(const unsigned char* row, long long x)
{
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

/* ---- Kernels over untiled regions ------------------------------------------------- */

typedef struct AndView {
    unsigned char* start;
    int bit;
    long long rowStep;
    long long planeStep;
    long long pixelStride;
} AndView;

static void viewOf(const QimImage* image, AndView* view, int elementBytes)
{
    int w, h;
    view->start = ownAndRegion(image, &w, &h, channelIndex(image), &view->bit);
    view->rowStep = image->widthStep;
    view->planeStep = (long long)image->height * image->widthStep;
    view->pixelStride = image->dataOrder == QIM_ORDER_PIXEL
                            ? (long long)image->nChannels * elementBytes
                            : elementBytes;
}

static void andBytes(const unsigned char* a, const unsigned char* b, unsigned char* d, long long n)
{
    for (long long i = 0; i < n; ++i)
        d[i] = (unsigned char)(a[i] & b[i]);
}

static void andRegions(const QimImage* srcA, const QimImage* srcB, QimImage* dst,
                       const QimImage* mask, int width, int height, int channels)
{
    int elementBytes = ownDepthBits(dst->depth) / 8;
    AndView a, b, d, m = {0};
    viewOf(srcA, &a, elementBytes);
    viewOf(srcB, &b, elementBytes);
    viewOf(dst, &d, elementBytes);
    if (mask)
        viewOf(mask, &m, 0);

    if (dst->depth == QIM_DEPTH_1U) {
        if (!mask) {
            ownAndBitRows(a.start, b.start, d.start, a.bit, b.bit, d.bit, width, height, a.rowStep,
                          b.rowStep, d.rowStep);
            return;
        }
        for (int r = 0; r < height; ++r) {
            const unsigned char* mr = m.start + r * m.rowStep;
            unsigned char* dr = d.start + r * d.rowStep;
            for (int x = 0; x < width; ++x) {
                if (!bitAt(mr, m.bit + x))
                    continue;
                int v = bitAt(a.start + r * a.rowStep, a.bit + x) &
                        bitAt(b.start + r * b.rowStep, b.bit + x);
                long long pos = d.bit + x;
                unsigned char bitMask = (unsigned char)(0x80u >> (pos & 7));
                dr[pos >> 3] = (unsigned char)(v ? dr[pos >> 3] | bitMask : dr[pos >> 3] & ~bitMask);
            }
        }
        return;
    }

    /* Plane order: one plane per processed channel, each a contiguous run per
     * row. Pixel order: the processed channels of a pixel are adjacent; each
     * image steps by its own pixel size. */
    int planes = dst->dataOrder == QIM_ORDER_PLANE ? channels : 1;
    long long chunk = dst->dataOrder == QIM_ORDER_PLANE ? elementBytes
                                                         : (long long)channels * elementBytes;
    int contiguous = a.pixelStride == chunk && b.pixelStride == chunk && d.pixelStride == chunk;
    for (int p = 0; p < planes; ++p) {
        for (int r = 0; r < height; ++r) {
            const unsigned char* ar = a.start + p * a.planeStep + r * a.rowStep;
            const unsigned char* br = b.start + p * b.planeStep + r * b.rowStep;
            unsigned char* dr = d.start + p * d.planeStep + r * d.rowStep;
            if (!mask && contiguous) {
                andBytes(ar, br, dr, chunk * width);
                continue;
            }
            const unsigned char* mr = mask ? m.start + r * m.rowStep : NULL;
            for (int x = 0; x < width; ++x) {
                if (mr && !bitAt(mr, m.bit + x))
                    continue;
                andBytes(ar + x * a.pixelStride, br + x * b.pixelStride, dr + x * d.pixelStride,
                         chunk);
            }
        }
    }
}

/* Whether the three buffers can be ANDed whole, row padding included. */
static int ownAndSameLayout(const QimImage* a, const QimImage* b, const QimImage* c, int alphaFlag)
{
    const QimImage* images[3] = {a, b, c};
    if (alphaFlag)
        return 0;
    for (int i = 0; i < 3; ++i) {
        const QimImage* image = images[i];
        if (image->tileInfo || image->dataSize != a->dataSize || image->height != a->height ||
            image->width != a->width || image->rowAlign != a->rowAlign ||
            image->widthStep != a->widthStep || image->dataOrder != a->dataOrder)
            return 0;
        const QimRoi* roi = image->roi;
        if (roi && (roi->offsetX != 0 || roi->offsetY != 0 || roi->width < image->width ||
                    roi->height < image->height || roi->coi != 1 || image->nChannels != 1))
            return 0;
    }
    return 1;
}

static void andWholeBuffers(const QimImage* a, const QimImage* b, QimImage* d)
{
    const unsigned char* pa = a->imageData;
    const unsigned char* pb = b->imageData;
    unsigned char* pd = d->imageData;
    for (int i = 0, n = d->dataSize / 4; i < n; ++i) {
        uint32_t x, y;
        memcpy(&x, pa + 4 * i, 4);
        memcpy(&y, pb + 4 * i, 4);
        x &= y;
        memcpy(pd + 4 * i, &x, 4);
    }
}

/* ---- Masks ------------------------------------------------------------------------- */

enum { MASK_NONE = 0, MASK_NEW = 1, MASK_NO_MEMORY = 2, MASK_NO_OVERLAP = 3 };

static const QimImage* ownAndCombineMasks(const QimImage* maskA, const QimImage* maskB,
                                          const QimImage* maskDst, int* result)
{
    const QimImage* masks[3];
    int count = 0;
    const QimImage* all[3] = {maskA, maskB, maskDst};
    for (int i = 0; i < 3; ++i) {
        int seen = !all[i];
        for (int j = 0; j < count && !seen; ++j)
            seen = masks[j] == all[i];
        if (!seen)
            masks[count++] = all[i];
    }
    *result = MASK_NONE;
    if (count == 0)
        return NULL;
    if (count == 1)
        return masks[0];

    int width = 0, height = 0;
    for (int i = 0; i < count; ++i) {
        AndRect rect;
        ownAndRoiRect(masks[i], &rect);
        if (i == 0 || rect.width < width)
            width = rect.width;
        if (i == 0 || rect.height < height)
            height = rect.height;
    }
    if (width <= 0 || height <= 0) {
        *result = MASK_NO_OVERLAP;
        return NULL;
    }
    QimImage* combined = qimCreateImageHeader(1, 0, QIM_DEPTH_1U, "GRAY", "G", QIM_ORDER_PLANE,
                                              masks[0]->origin, QIM_ALIGN_8BYTES, width, height,
                                              NULL, NULL, NULL, NULL);
    if (!combined) {
        *result = MASK_NO_MEMORY;
        return NULL;
    }
    /* Zero-filled, so the row padding holds no stale bits. */
    qimAllocateImage(combined, 1, 0);
    if (!combined->imageData) {
        qimDeallocate(combined, QIM_FREE_HEADER);
        *result = MASK_NO_MEMORY;
        return NULL;
    }
    AndView first, second;
    viewOf(masks[0], &first, 0);
    viewOf(masks[1], &second, 0);
    unsigned char* out = combined->imageData;
    ownAndBitRows(first.start, second.start, out, first.bit, second.bit, 0, width, height,
                  first.rowStep, second.rowStep, combined->widthStep);
    if (count == 3) {
        AndView third;
        viewOf(masks[2], &third, 0);
        ownAndBitRows(out, third.start, out, 0, third.bit, 0, width, height, combined->widthStep,
                      third.rowStep, combined->widthStep);
    }
    *result = MASK_NEW;
    return combined;
}

/* ---- Tiled walk ------------------------------------------------------------------- */

typedef struct AndSlot {
    const QimImage* image;
    int owner;      /* the slot whose tiles this one uses (itself unless shared) */
    int mode;       /* QIM_TILE_READ or QIM_TILE_WRITE */
    AndRect rect;   /* the region, clipped */
    int tileWidth, tileHeight, tileRowBytes;
    int column, row, held;
    void* data;
    const char* missingText;
    int lineAtStrip, lineInStrip;
} AndSlot;

static void releaseTile(AndSlot* slot)
{
    if (!slot->held)
        return;
    QimTileInfo* info = slot->image->tileInfo;
    info->tileData = slot->data;
    info->callBack(slot->image, slot->column, slot->row, QIM_TILE_RELEASE);
    slot->held = 0;
    slot->data = NULL;
}

static void releaseAll(AndSlot* slots)
{
    for (int i = 2; i >= 0; --i)
        if (slots[i].owner == i)
            releaseTile(&slots[i]);
}

static int getTile(AndSlot* slot, int column, int row)
{
    if (slot->held && slot->column == column && slot->row == row)
        return 1;
    releaseTile(slot);
    QimTileInfo* info = slot->image->tileInfo;
    info->tileData = NULL;
    info->callBack(slot->image, column, row, slot->mode);
    if (!info->tileData)
        return 0;
    slot->data = info->tileData;
    slot->column = column;
    slot->row = row;
    slot->held = 1;
    return 1;
}

/* A header for one block: the block's tile data (or the untiled image's
 * data) with the block as its region. */
static void blockHeader(const AndSlot* slots, int i, int x, int y, int width, int height,
                        QimImage* copy, QimRoi* roi)
{
    const AndSlot* slot = &slots[i];
    const AndSlot* owner = &slots[slot->owner];
    *copy = *slot->image;
    roi->coi = slot->image->roi ? slot->image->roi->coi : 0;
    roi->width = width;
    roi->height = height;
    if (slot->image->tileInfo) {
        roi->offsetX = (slot->rect.x + x) % slot->tileWidth;
        roi->offsetY = (slot->rect.y + y) % slot->tileHeight;
        copy->imageData = owner->data;
        copy->tileInfo = NULL;
        copy->widthStep = slot->tileRowBytes;
        copy->width = slot->tileWidth;
        copy->height = slot->tileHeight;
    } else {
        roi->offsetX = slot->rect.x + x;
        roi->offsetY = slot->rect.y + y;
    }
    copy->roi = roi;
    copy->mask = NULL;
}

static void andTiled(const QimImage* srcA, const QimImage* srcB, QimImage* dst,
                     const QimImage* mask, int width, int height, int channels)
{
    AndSlot slots[3];
    const QimImage* images[3] = {srcA, srcB, dst};
    static const char* const texts[3] = {"(srcImageA->tileInfo->tileData == 0)",
                                         "(srcImageB->tileInfo->tileData == 0)",
                                         "(dstImage->tileInfo->tileData == 0)"};
    static const int atStrip[3] = {1754, 1775, 1798}, inStrip[3] = {1846, 1872, 1894};
    memset(slots, 0, sizeof slots);
    for (int i = 0; i < 3; ++i) {
        AndSlot* slot = &slots[i];
        slot->image = images[i];
        slot->owner = i;
        slot->mode = i == 2 ? QIM_TILE_WRITE : QIM_TILE_READ;
        slot->missingText = texts[i];
        slot->lineAtStrip = atStrip[i];
        slot->lineInStrip = inStrip[i];
        ownAndRoiRect(images[i], &slot->rect);
        if (images[i]->tileInfo) {
            slot->tileWidth = images[i]->tileInfo->width;
            slot->tileHeight = images[i]->tileInfo->height;
            slot->tileRowBytes = ownTileWidthStep(images[i]->dataOrder, images[i]->depth,
                                                  images[i]->rowAlign, images[i]->nChannels,
                                                  slot->tileWidth);
        }
    }
    /* A source that is the destination uses the destination's tiles. */
    for (int i = 0; i < 2; ++i)
        if (images[i] == dst)
            slots[i].owner = 2;
    if (srcB == srcA && srcB != dst)
        slots[1].owner = 0;

    AndRect maskRect = {0, 0, 0, 0};
    if (mask)
        ownAndRoiRect(mask, &maskRect);

    for (int y = 0; y < height;) {
        int stripHeight = height - y;
        for (int i = 0; i < 3; ++i) {
            if (!images[i]->tileInfo)
                continue;
            int left = slots[i].tileHeight - (slots[i].rect.y + y) % slots[i].tileHeight;
            if (left < stripHeight)
                stripHeight = left;
        }
        for (int x = 0; x < width;) {
            int blockWidth = width - x;
            for (int i = 0; i < 3; ++i) {
                if (!images[i]->tileInfo)
                    continue;
                int left = slots[i].tileWidth - (slots[i].rect.x + x) % slots[i].tileWidth;
                if (left < blockWidth)
                    blockWidth = left;
            }
            for (int i = 0; i < 3; ++i) {
                AndSlot* slot = &slots[i];
                if (!images[i]->tileInfo || slot->owner != i)
                    continue;
                int column = (slot->rect.x + x) / slot->tileWidth;
                int row = (slot->rect.y + y) / slot->tileHeight;
                if (!getTile(slot, column, row)) {
                    releaseAll(slots);
                    ownRaiseError(QIM_STATUS_BAD_ARG, "qimAnd", slot->missingText, "qimand",
                                  x == 0 ? slot->lineAtStrip : slot->lineInStrip);
                    return;
                }
            }
            QimImage copies[3], maskCopy;
            QimRoi rois[3], maskRoi;
            for (int i = 0; i < 3; ++i)
                blockHeader(slots, i, x, y, blockWidth, stripHeight, &copies[i], &rois[i]);
            if (mask) {
                maskCopy = *mask;
                maskRoi.coi = 0;
                maskRoi.offsetX = maskRect.x + x;
                maskRoi.offsetY = maskRect.y + y;
                maskRoi.width = blockWidth;
                maskRoi.height = stripHeight;
                maskCopy.roi = &maskRoi;
                maskCopy.mask = NULL;
            }
            andRegions(&copies[0], &copies[1], &copies[2], mask ? &maskCopy : NULL, blockWidth,
                       stripHeight, channels);
            x += blockWidth;
        }
        releaseAll(slots);
        y += stripHeight;
    }
}

/* ---- Entry ------------------------------------------------------------------------ */

static int refuse(int status, const char* context, int line)
{
    ownRaiseError(status, "qimAnd", context, "qimand", line);
    return status;
}

void qimAnd(const QimImage* srcImageA, const QimImage* srcImageB, QimImage* dstImage)
{
    if (ownCheckImageHeader(srcImageA)) {
        refuse(qimGetErrStatus(), "Incorrect Image", 1594);
        return;
    }
    if (ownCheckImageHeader(srcImageB)) {
        refuse(qimGetErrStatus(), "Incorrect Image", 1595);
        return;
    }
    if (ownCheckImageHeader(dstImage)) {
        refuse(qimGetErrStatus(), "Incorrect Image", 1596);
        return;
    }
    if (srcImageA->depth != dstImage->depth) {
        refuse(QIM_STATUS_BAD_ARG, "(srcImageA->depth != dstImage->depth)", 1598);
        return;
    }
    if (srcImageB->depth != dstImage->depth) {
        refuse(QIM_STATUS_BAD_ARG, "(srcImageB->depth != dstImage->depth)", 1599);
        return;
    }
    if (dstImage->depth != QIM_DEPTH_1U && srcImageA->dataOrder != dstImage->dataOrder) {
        refuse(QIM_STATUS_BAD_ARG, "(srcImageA->dataOrder != dstImage->dataOrder)", 1602);
        return;
    }
    if (dstImage->depth != QIM_DEPTH_1U && srcImageB->dataOrder != dstImage->dataOrder) {
        refuse(QIM_STATUS_BAD_ARG, "(srcImageB->dataOrder != dstImage->dataOrder)", 1603);
        return;
    }
    int channels = colourChannels(dstImage);
    if (colourChannels(srcImageA) != channels) {
        refuse(QIM_STATUS_BAD_ARG, "(nChSrcA != nChDst)", 1638);
        return;
    }
    if (colourChannels(srcImageB) != channels) {
        refuse(QIM_STATUS_BAD_ARG, "(nChSrcB != nChDst)", 1639);
        return;
    }

    int maskResult;
    const QimImage* mask =
        ownAndCombineMasks(srcImageA->mask, srcImageB->mask, dstImage->mask, &maskResult);
    if (maskResult == MASK_NO_MEMORY) {
        refuse(QIM_STATUS_NO_MEMORY, "Out of memory", 1647);
        return;
    }
    if (maskResult == MASK_NO_OVERLAP)
        return;
    QimImage* newMask = maskResult == MASK_NEW ? (QimImage*)mask : NULL;

    if (dstImage->depth == QIM_DEPTH_32F) {
        qimDeallocate(newMask, QIM_FREE_HEADER | QIM_FREE_DATA);
        refuse(QIM_STATUS_BAD_ARG, "This function does not support depth 32F", 1667);
        return;
    }

    /* The written area: the smallest region of the three and the mask. */
    const QimImage* parts[4] = {srcImageA, srcImageB, dstImage, mask};
    int width = 0, height = 0;
    for (int i = 0; i < 4; ++i) {
        if (!parts[i])
            continue;
        AndRect rect;
        ownAndRoiRect(parts[i], &rect);
        if (i == 0 || rect.width < width)
            width = rect.width;
        if (i == 0 || rect.height < height)
            height = rect.height;
    }

    if (width > 0 && height > 0 && channels > 0) {
        if (srcImageA->tileInfo || srcImageB->tileInfo || dstImage->tileInfo)
            andTiled(srcImageA, srcImageB, dstImage, mask, width, height, channels);
        else if (!mask && ownAndSameLayout(srcImageA, srcImageB, dstImage,
                                           srcImageA->alphaIndex || srcImageB->alphaIndex ||
                                               dstImage->alphaIndex))
            andWholeBuffers(srcImageA, srcImageB, dstImage);
        else
            andRegions(srcImageA, srcImageB, dstImage, mask, width, height, channels);
    }
    qimDeallocate(newMask, QIM_FREE_HEADER | QIM_FREE_DATA);
}
