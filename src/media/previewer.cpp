#include "media/previewer.h"

#include <mutex>

namespace vexa {

namespace {

std::mutex& FactoryLock()
{
    static std::mutex lock;
    return lock;
}

TPreviewerFactory& Factory()
{
    static TPreviewerFactory factory;
    return factory;
}

}  // namespace

void SetPreviewerFactory(TPreviewerFactory factory)
{
    std::lock_guard<std::mutex> g(FactoryLock());
    Factory() = std::move(factory);
}

std::unique_ptr<TPreviewer> CreatePreviewer()
{
    TPreviewerFactory factory;
    {
        std::lock_guard<std::mutex> g(FactoryLock());
        factory = Factory();
    }
    return factory ? factory() : nullptr;
}

}  // namespace vexa
