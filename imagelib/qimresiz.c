/* The library's scaling entry point: super-sampling goes to decimation, every
 * other method to the zoom. */
#include "qimown.h"

int qimResize(const QimImage* srcImage, QimImage* dstImage, int xDst, int xSrc, int yDst, int ySrc,
              int interpolate)
{
    if (interpolate == QIM_INTER_SUPER) {
        if (xDst > xSrc || yDst > ySrc)
            return ownRaiseError(QIM_STATUS_BAD_ARG, "qimResize", "(xDst > xSrc || yDst > ySrc)",
                                 "qimresiz", __LINE__);
        ownDecimateArgs(srcImage, dstImage, xDst, xSrc, yDst, ySrc, interpolate);
    } else {
        qimZoom(srcImage, dstImage, xDst, xSrc, yDst, ySrc, interpolate);
    }
    const int status = qimGetErrStatus();
    if (status < 0)
        return ownRaiseError(QIM_STATUS_BACKTRACE, "qimResize", "", "qimresiz", __LINE__);
    return status;
}
