#pragma once
// A control array of port or socket elements: element i serves channel i+1. Element 0
// exists for the whole run; the others are created and destroyed on request.

#include <QObject>
#include <array>
#include <functional>
#include <memory>

#include "shell/module_data.h"

template <typename Element> class ElementArray
{
public:
    // Called for each new element, so the owner can connect its notifications.
    using CreatedHook = std::function<void(Element&)>;

    explicit ElementArray(CreatedHook onCreated = {}) : m_onCreated(std::move(onCreated))
    {
        Load(0);
    }

    // The element, or nullptr when it does not exist.
    Element* operator()(int index) const
    {
        return index >= 0 && index < Globals::MaxChannels ? m_elements[index].get() : nullptr;
    }
    bool Exists(int index) const { return (*this)(index) != nullptr; }

    // Creates the element unless it exists.
    void Load(int index)
    {
        if (index < 0 || index >= Globals::MaxChannels || m_elements[index])
            return;
        m_elements[index] = std::make_unique<Element>(index);
        if (m_onCreated)
            m_onCreated(*m_elements[index]);
    }

    // Destroys the element (never element 0). It is cut off from every receiver at once
    // but deleted only when the event loop is back, because the unload may come from a
    // handler of that very element (a message box shown while receiving, for example).
    void Unload(int index)
    {
        if (index > 0)
            release(index);
    }

    // Replaces the element by a new one: what the old one still held or had queued can
    // never reach the receivers. Element 0 is renewed this way instead of being unloaded.
    void Renew(int index)
    {
        release(index);
        Load(index);
    }

private:
    void release(int index)
    {
        if (index < 0 || index >= Globals::MaxChannels || !m_elements[index])
            return;
        Element* element = m_elements[index].release();
        QObject::disconnect(element, nullptr, nullptr, nullptr);
        element->deleteLater();
    }

    CreatedHook m_onCreated;
    std::array<std::unique_ptr<Element>, Globals::MaxChannels> m_elements;
};
