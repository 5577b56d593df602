/* Dispatcher: loads the shared build of the image library that suits this
 * processor (libqlqimW7/A6/M6/P6/PX.so, from the folder that holds this
 * library) and forwards the seven entry points to it. QLQIM_BUILD=PX (or W7,
 * A6, P6, M6) forces a build. A process that cannot load its build ends with
 * code 127, as the loader does for a missing library. */
#define _GNU_SOURCE
#include "qim.h"

#include <dlfcn.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef QimImage* (*CreateImageHeaderFn)(int, int, int, const char*, const char*, int, int, int,
                                         int, int, QimRoi*, QimImage*, void*, QimTileInfo*);
typedef void (*AllocateImageFn)(QimImage*, int, int);
typedef void (*DeallocateFn)(QimImage*, int);
typedef int (*ResizeFn)(const QimImage*, QimImage*, int, int, int, int, int);
typedef int (*GetErrStatusFn)(void);
typedef void (*SetErrModeFn)(int);
typedef const char* (*ErrorStrFn)(int);

static struct {
    CreateImageHeaderFn createImageHeader;
    AllocateImageFn allocateImage;
    DeallocateFn deallocate;
    ResizeFn resize;
    GetErrStatusFn getErrStatus;
    SetErrModeFn setErrMode;
    ErrorStrFn errorStr;
} build;

static pthread_once_t loadOnce = PTHREAD_ONCE_INIT;

static void fail(const char* what, const char* detail)
{
    fprintf(stderr, "libqlqim: %s%s%s\n", what, detail ? ": " : "", detail ? detail : "");
    _exit(127);
}

static const char* buildForProcessor(void)
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("sse2"))
        return "W7";
    if (__builtin_cpu_supports("sse"))
        return "A6";
    if (__builtin_cpu_supports("mmx"))
        return "M6";
    if (__builtin_cpu_supports("cmov"))
        return "P6";
#endif
    return "PX";
}

static const char* chosenBuild(void)
{
    static const char* const names[] = {"PX", "W7", "A6", "P6", "M6"};
    const char* forced = getenv("QLQIM_BUILD");
    if (!forced || !*forced)
        return buildForProcessor();
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
        if (strcmp(forced, names[i]) == 0)
            return names[i];
    fail("QLQIM_BUILD must be one of PX, W7, A6, P6, M6, not", forced);
    return NULL;
}

static void* symbol(void* handle, const char* name)
{
    void* address = dlsym(handle, name);
    if (!address)
        fail("missing entry point", name);
    return address;
}

static void loadBuild(void)
{
    Dl_info self;
    if (!dladdr((void*)&loadBuild, &self) || !self.dli_fname)
        fail("cannot find its own folder", NULL);
    const char* slash = strrchr(self.dli_fname, '/');
    size_t folderLength = slash ? (size_t)(slash - self.dli_fname) : 1;
    const char* folder = slash ? self.dli_fname : ".";

    const char* name = chosenBuild();
    char path[4096];
    int n = snprintf(path, sizeof path, "%.*s/libqlqim%s.so", (int)folderLength, folder, name);
    if (n < 0 || (size_t)n >= sizeof path)
        fail("path too long", self.dli_fname);
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        fail("cannot load", dlerror());

    build.createImageHeader = (CreateImageHeaderFn)symbol(handle, "qimCreateImageHeader");
    build.allocateImage = (AllocateImageFn)symbol(handle, "qimAllocateImage");
    build.deallocate = (DeallocateFn)symbol(handle, "qimDeallocate");
    build.resize = (ResizeFn)symbol(handle, "qimResize");
    build.getErrStatus = (GetErrStatusFn)symbol(handle, "qimGetErrStatus");
    build.setErrMode = (SetErrModeFn)symbol(handle, "qimSetErrMode");
    build.errorStr = (ErrorStrFn)symbol(handle, "qimErrorStr");
}

static void ensureLoaded(void)
{
    pthread_once(&loadOnce, loadBuild);
}

/* Load with the library, so that a missing build shows at start-up. */
__attribute__((constructor)) static void loadAtStart(void)
{
    ensureLoaded();
}

QimImage* qimCreateImageHeader(int nChannels, int alphaIndex, int depth, const char* modelText,
                               const char* orderText, int dataOrder, int origin, int rowAlign,
                               int width, int height, QimRoi* roi, QimImage* mask,
                               void* userPointer, QimTileInfo* tileInfo)
{
    ensureLoaded();
    return build.createImageHeader(nChannels, alphaIndex, depth, modelText, orderText, dataOrder,
                                   origin, rowAlign, width, height, roi, mask, userPointer,
                                   tileInfo);
}

void qimAllocateImage(QimImage* image, int fill, int value)
{
    ensureLoaded();
    build.allocateImage(image, fill, value);
}

void qimDeallocate(QimImage* image, int flags)
{
    ensureLoaded();
    build.deallocate(image, flags);
}

int qimResize(const QimImage* srcImage, QimImage* dstImage, int xDst, int xSrc, int yDst, int ySrc,
              int interpolate)
{
    ensureLoaded();
    return build.resize(srcImage, dstImage, xDst, xSrc, yDst, ySrc, interpolate);
}

int qimGetErrStatus(void)
{
    ensureLoaded();
    return build.getErrStatus();
}

void qimSetErrMode(int mode)
{
    ensureLoaded();
    build.setErrMode(mode);
}

const char* qimErrorStr(int status)
{
    ensureLoaded();
    return build.errorStr(status);
}
