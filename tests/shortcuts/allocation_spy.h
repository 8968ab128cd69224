// Watches the COM task allocator, which is the shell allocator: every block
// allocated while the spy is registered and not yet freed.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <set>

class AllocationSpy : public IMallocSpy {
public:
    AllocationSpy() { registered_ = CoRegisterMallocSpy(this) == S_OK; }
    // Revoking fails while spied blocks are alive; the spy then stays registered, harmlessly.
    ~AllocationSpy() { CoRevokeMallocSpy(); }
    bool registered() const { return registered_; }
    bool IsLive(const void* block) const { return live_.count((void*)block) != 0; }
    size_t LiveCount() const { return live_.size(); }
    int FreeCount() const { return frees_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMallocSpy)) {
            *object = this;
            return S_OK;
        }
        *object = NULL;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
    void* STDMETHODCALLTYPE PostAlloc(void* actual) override
    {
        if (actual != NULL)
            live_.insert(actual);
        return actual;
    }
    void* STDMETHODCALLTYPE PreFree(void* request, BOOL) override
    {
        if (request != NULL) {
            ++frees_;
            live_.erase(request);
        }
        return request;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** newRequest, BOOL) override
    {
        live_.erase(request);
        *newRequest = request;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL) override { return PostAlloc(actual); }
    void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL) override { return request; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL) override { return request; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

private:
    bool registered_ = false;
    std::set<void*> live_;
    int frees_ = 0;
};
