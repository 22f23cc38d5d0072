// The IAccessible of each owner-painted surface: a thin COM object over the surface window that
// looks up the live state on every call and answers from what the surface describes of itself.
#include "shell/shell_internal.h"

#include <oleacc.h>

#include <cmath>
#include <new>

using namespace shell_detail;

namespace {

// Children are simple elements named by their number (1 .. count), not objects of their own.
class SurfaceAccessible final : public IAccessible {
public:
    SurfaceAccessible(HWND surface, ControlId id, IAccessible* standard)
        : surface_(surface), id_(id), standard_(standard)
    {
    }
    SurfaceAccessible(const SurfaceAccessible&) = delete;
    SurfaceAccessible& operator=(const SurfaceAccessible&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IAccessible) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch: screen readers call IAccessible directly; there is no type library to offer.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override
    {
        if (!parent)
            return E_POINTER;
        *parent = nullptr;
        if (!live())
            return CO_E_OBJNOTCONNECTED;
        return standard_ ? standard_->get_accParent(parent) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override
    {
        return guarded([&](Session& s) {
            if (!count)
                return E_POINTER;
            *count = accessibleChildCount(s.app, s.library, id_);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override
    {
        return guarded([&](Session& s) {
            if (!out)
                return E_POINTER;
            *out = nullptr;
            const int c = childOf(s, child);
            if (c < 0)
                return E_INVALIDARG;
            if (c > 0)
                return S_FALSE;  // a simple element: its parent answers for it
            AddRef();
            *out = this;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override
    {
        return text(child, out, [](const AccessibleItem& item) { return item.name; });
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override
    {
        return text(child, out, [](const AccessibleItem& item) { return item.value; });
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override
    {
        return text(child, out, [](const AccessibleItem& item) { return item.description; });
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override
    {
        return number(child, out, [](const AccessibleItem& item) { return item.role; });
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override
    {
        return number(child, out, [](const AccessibleItem& item) { return item.state; });
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* out) override { return noText(child, out); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override
    {
        if (file)
            *file = nullptr;
        if (topic)
            *topic = 0;
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* out) override { return noText(child, out); }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override { return noText(child, out); }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override
    {
        return guarded([&](Session& s) {
            if (!out)
                return E_POINTER;
            VariantInit(out);
            if (!keyboardOnSurface(s.app, id_))
                return S_FALSE;
            const int c = focusedAccessibleChild(s.app, s.library, id_);
            out->vt = VT_I4;
            out->lVal = c > 0 ? c : CHILDID_SELF;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override
    {
        return guarded([&](Session& s) {
            if (!out)
                return E_POINTER;
            VariantInit(out);
            const int c = selectedAccessibleChild(s.app, s.library, id_);
            if (c <= 0)
                return S_FALSE;
            out->vt = VT_I4;
            out->lVal = c;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override
    {
        return guarded([&](Session& s) {
            const int c = childOf(s, child);
            if (c < 0)
                return E_INVALIDARG;
            // Only what a click could do: on the surface in view, choose a row or a card.
            if (sectionSurface(s.app.currentSection) != id_)
                return S_FALSE;
            if (flags & SELFLAG_TAKEFOCUS)
                SetFocus(surface_);
            if (flags & SELFLAG_TAKESELECTION) {
                const std::string story = accessibleStoryId(s.app, s.library, id_, c);
                if (story.empty())
                    return E_INVALIDARG;
                selectStory(s.app, s.library, story);
            }
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override
    {
        return guarded([&](Session& s) {
            if (!left || !top || !width || !height)
                return E_POINTER;
            *left = *top = *width = *height = 0;
            const int c = childOf(s, child);
            if (c < 0)
                return E_INVALIDARG;
            const DipRect r = describeAccessible(s.app, s.library, id_, c, false).bounds;
            const float k = s.app.dpiScale;
            POINT corner{static_cast<LONG>(std::floor(r.left * k)), static_cast<LONG>(std::floor(r.top * k))};
            const POINT end{static_cast<LONG>(std::ceil((r.left + r.width) * k)),
                            static_cast<LONG>(std::ceil((r.top + r.height) * k))};
            const LONG w = end.x - corner.x, h = end.y - corner.y;
            ClientToScreen(s.app.mainWindow, &corner);
            *left = corner.x;
            *top = corner.y;
            *width = w;
            *height = h;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* out) override
    {
        return guarded([&](Session& s) {
            if (!out)
                return E_POINTER;
            VariantInit(out);
            const int c = childOf(s, start);
            if (c < 0)
                return E_INVALIDARG;
            const int count = accessibleChildCount(s.app, s.library, id_);
            int next = 0;
            if (c == 0) {
                if (direction == NAVDIR_FIRSTCHILD)
                    next = count > 0 ? 1 : 0;
                else if (direction == NAVDIR_LASTCHILD)
                    next = count;
                else if (standard_)
                    return standard_->accNavigate(direction, start, out);  // the window's siblings
            } else if (direction == NAVDIR_NEXT) {
                next = c < count ? c + 1 : 0;
            } else if (direction == NAVDIR_PREVIOUS) {
                next = c - 1;
            }
            if (next <= 0)
                return S_FALSE;
            out->vt = VT_I4;
            out->lVal = next;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* out) override
    {
        return guarded([&](Session& s) {
            if (!out)
                return E_POINTER;
            VariantInit(out);
            POINT point{x, y};
            ScreenToClient(s.app.mainWindow, &point);
            const float k = s.app.dpiScale;
            const int c = accessibleChildAt(s.app, s.library, id_, static_cast<float>(point.x) / k,
                                            static_cast<float>(point.y) / k);
            if (c < 0)
                return S_FALSE;
            out->vt = VT_I4;
            out->lVal = c > 0 ? c : CHILDID_SELF;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT) override { return DISP_E_MEMBERNOTFOUND; }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    ~SurfaceAccessible()
    {
        if (standard_)
            standard_->Release();
    }

    // The state behind the surface, looked up anew: a screen reader may keep the object long after
    // the window is gone, and calls arrive only on the window's own thread while it exists.
    Session* live() const
    {
        if (!IsWindow(surface_) || GetWindowThreadProcessId(surface_, nullptr) != GetCurrentThreadId())
            return nullptr;
        Session* session = sessionOf(GetParent(surface_));
        return session && surfaceWindow(session->app, id_) == surface_ ? session : nullptr;
    }

    template <typename Call>
    HRESULT guarded(Call&& call) noexcept
    {
        try {
            Session* session = live();
            return session ? call(*session) : CO_E_OBJNOTCONNECTED;
        } catch (...) {
            return E_FAIL;
        }
    }

    // The child a VARIANT names: 0 for the surface itself, -1 for none of its children.
    int childOf(const Session& s, const VARIANT& child) const
    {
        if (child.vt != VT_I4)
            return -1;
        if (child.lVal == CHILDID_SELF)
            return 0;
        return child.lVal >= 1 && child.lVal <= accessibleChildCount(s.app, s.library, id_) ? child.lVal : -1;
    }

    AccessibleItem item(const Session& s, int child) const
    {
        return describeAccessible(s.app, s.library, id_, child, keyboardOnSurface(s.app, id_));
    }

    template <typename Field>
    HRESULT text(const VARIANT& child, BSTR* out, Field field)
    {
        return guarded([&](Session& s) {
            if (!out)
                return E_POINTER;
            *out = nullptr;
            const int c = childOf(s, child);
            if (c < 0)
                return E_INVALIDARG;
            const std::wstring value = field(item(s, c));
            if (value.empty())
                return S_FALSE;
            *out = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
            return *out ? S_OK : E_OUTOFMEMORY;
        });
    }

    template <typename Field>
    HRESULT number(const VARIANT& child, VARIANT* out, Field field)
    {
        return guarded([&](Session& s) {
            if (!out)
                return E_POINTER;
            VariantInit(out);
            const int c = childOf(s, child);
            if (c < 0)
                return E_INVALIDARG;
            out->vt = VT_I4;
            out->lVal = field(item(s, c));
            return S_OK;
        });
    }

    HRESULT noText(const VARIANT& child, BSTR* out)
    {
        return guarded([&](Session& s) {
            if (!out)
                return E_POINTER;
            *out = nullptr;
            return childOf(s, child) < 0 ? E_INVALIDARG : S_FALSE;
        });
    }

    LONG references_ = 1;
    HWND surface_;
    ControlId id_;
    IAccessible* standard_;  // the window's standard client object, for its parent and siblings
};

}  // namespace

LRESULT shell_detail::answerAccessibleRequest(HWND surface, ControlId id, WPARAM wParam)
{
    IAccessible* standard = nullptr;
    if (FAILED(CreateStdAccessibleObject(surface, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&standard))))
        standard = nullptr;
    auto* object = new (std::nothrow) SurfaceAccessible(surface, id, standard);
    if (!object) {
        if (standard)
            standard->Release();
        return 0;
    }
    const LRESULT answer = LresultFromObject(IID_IAccessible, wParam, object);
    object->Release();
    return answer > 0 ? answer : 0;
}
