#pragma once

// The view of the document: told whenever the document has taken in a new scene.
class IDocumentView {
public:
    virtual ~IDocumentView() = default;
    virtual void OnSceneChanged() = 0;
};
