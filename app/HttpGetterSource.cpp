#include "app/HttpGetterSource.h"

#include "reception/CurlHttpGetter.h"

namespace {
HttpGetterMaker g_maker;
}

std::unique_ptr<CHttpGetter> MakeHttpGetter() {
  if (g_maker) return g_maker();
  return std::make_unique<CCurlHttpGetter>();
}

void SetHttpGetterMaker(HttpGetterMaker maker) { g_maker = std::move(maker); }
