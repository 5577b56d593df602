/* Per-thread error context, the raise path and the status texts. */
#include "qimown.h"

#include <stdlib.h>

/* Static thread-local storage: every thread, also one that was running before
 * the library was loaded, has its context from its first call on, and the
 * context cannot fail to exist. */
static _Thread_local QimErrorContext threadContext = {0, QIM_ERRMODE_EXIT, ownDefaultErrorHandler};

QimErrorContext* ownGetErrContext(void)
{
    return &threadContext;
}

void ownSetErrStatus(int status)
{
    threadContext.status = status;
}

int ownGetErrMode(void)
{
    return threadContext.mode;
}

int qimGetErrStatus(void)
{
    return threadContext.status;
}

void qimSetErrMode(int mode)
{
    threadContext.mode = mode;
}

int ownDefaultErrorHandler(int status, const char* functionName, const char* context,
                           const char* sourceFile, int line)
{
    (void)functionName; (void)context; (void)sourceFile; (void)line;
    if (ownGetErrMode() == QIM_ERRMODE_EXIT)
        exit(1);
    return status;
}

int ownRaiseError(int status, const char* functionName, const char* context,
                  const char* sourceFile, int line)
{
    QimErrorContext* ctx = ownGetErrContext();
    if (status != QIM_STATUS_BACKTRACE && status != QIM_STATUS_AUTOTRACE) {
        ctx->status = status;
        if (status == QIM_STATUS_OK)
            return 0;
    }
    QimErrorHandler handler = ctx->handler ? ctx->handler : ownDefaultErrorHandler;
    return handler(status, functionName, context, sourceFile, line);
}

static const char* baseText(int status)
{
    switch (status) {
    case 0: return "No Error";
    case -1: return "Backtrace";
    case -3: return "Internal error (bad state)";
    case -4: return "Insufficient memory";
    case -5: return "Bad argument";
    case -6: return "Unsupported function";
    case -7: return "Iteration convergence failed";
    case -8: return "Autotrace call";
    case -9: return "Null pointer to an image header";
    case -10: return "Incorrect image size";
    case -11: return "Incorrect offset of ROI of the image";
    case -12: return "Image must be tiled or must have nonzero data pointer";
    case -13: return "Incorrect widthStep of the image";
    case -14: return "Incorrect Color model or channel sequence of the image";
    case -15: return "Incorrect number of channels in the image";
    case -16: return "Number of channels for 1U depth image must be one";
    case -17: return "Incorrect depth value in the image header";
    case -18: return "Incorrect alpha channel number in the image header";
    case -19: return "Incorrect data order value in the image header";
    case -20: return "Incorrect data origin value in the image header";
    case -21: return "Incorrect data alignment value in the image header";
    case -22: return "Null pointer to callback function";
    case -23: return "Incorrect size of the tile";
    case -24: return "Incorrect COI of the image";
    case -25: return "Incorrect size of ROI in the image header";
    case -26: return "Mask image is taled";
    case -27: return "Null pointer";
    case -28: return "Incorrect vector length";
    case -29: return "Incorrect filter structure content";
    case -30: return "Incorrect transform kernel content";
    case -31: return "Incorrect filter ofset value";
    default: return NULL;
    }
}

static const char* maskText(int status)
{
    switch (status) {
    case -109: return "Mask. Null pointer to an image header";
    case -110: return "Mask. Incorrect image size";
    case -111: return "Mask. Incorrect offset of ROI of the image";
    case -112: return "Mask. Image must be tiled or must have nonzero data pointer";
    case -113: return "Mask. Incorrect widthStep of the image";
    case -114: return "Mask. Incorrect Color model or channel sequence of the image";
    case -115: return "Mask. Incorrect number of channels in the image";
    case -116: return "Mask. Number of channels for 1U depth image must be one";
    case -117: return "Mask. Incorrect depth value in the image header";
    case -118: return "Mask. Incorrect alpha channel number in the image header";
    case -119: return "Mask. Incorrect data order value in the image header";
    case -120: return "Mask. Incorrect data origin value in the image header";
    case -121: return "Mask. Incorrect data alignment value in the image header";
    case -124: return "Mask. Incorrect COI of the image";
    case -125: return "Mask. Incorrect size of ROI in the image header";
    default: return NULL;
    }
}

const char* qimErrorStr(int status)
{
    const char* text = status <= -100 ? maskText(status) : baseText(status);
    return text ? text : "Unknown error or status code";
}
