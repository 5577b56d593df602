// Where the receiving road gets its HTTP transport: libcurl with the
// client's time-outs, unless a test installed another maker.
#pragma once

#include <functional>
#include <memory>

class CHttpGetter;

using HttpGetterMaker = std::function<std::unique_ptr<CHttpGetter>()>;

std::unique_ptr<CHttpGetter> MakeHttpGetter();
// Installs a maker; an empty one brings libcurl's defaults back.
void SetHttpGetterMaker(HttpGetterMaker maker);
