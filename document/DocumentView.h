#pragma once

// The view of the document: told whenever the document has taken in a new scene.
class IDocumentView {
public:
    virtual ~IDocumentView() = default;
    virtual void OnSceneChanged() = 0;
    // Called before the document drops or replaces its scene: a view stops whatever still
    // reads the scene's arrays (a background job) before they go.
    virtual void OnSceneLeaving() {}
};
