#pragma once

// A view of the document: told with a hint whenever the document's contents change.
// Hint 1 means a new scene was loaded; a view's first update comes with hint 0.
class IDocumentView {
public:
    virtual ~IDocumentView() = default;
    virtual void OnUpdate(int hint) = 0;
    // Called before the document drops or replaces its scene: a view stops whatever still
    // reads the scene's arrays (a background job) before they go.
    virtual void OnSceneLeaving() {}
};

// The hint a document sends after each successful load.
inline constexpr int kSceneChangedHint = 1;
