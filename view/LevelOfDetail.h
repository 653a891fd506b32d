#pragma once

#include "render/PointOctree.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class Document;
class OctreeBuildJob;
class PointCloudRenderer;
class StreamedPointRenderer;
class ThreadPool;
class ViewHost;

// The level of detail of point clouds larger than the point budget: how many points a frame
// may draw (a quarter of the budget while the camera moves) and the octree that picks them.
// The tree is built in the background after each load, an even subset being drawn meanwhile,
// or, for the tools, before the cloud's first upload. The view owns it and hands it the
// document and the renderer of the cloud on screen; a finished background build wakes the
// view through its host.
class LevelOfDetail {
public:
    // `host` gets the wake-up of a finished build and the repaint once the camera rests.
    explicit LevelOfDetail(ViewHost& host);
    ~LevelOfDetail();  // stops a build
    LevelOfDetail(const LevelOfDetail&) = delete;
    LevelOfDetail& operator=(const LevelOfDetail&) = delete;

    // The pool the octrees are built on (it must outlive the view): in the background after
    // each load with one; without one only when the view is asked to finish the build. It
    // applies to the builds started after it is set, so set it before a scene is shown.
    void SetWorkerPool(ThreadPool* pool) { m_pool = pool; }
    // Whether a cloud larger than the budget gets its octree before it is first uploaded,
    // rather than in the background while it is drawn: for tools, which draw nothing before
    // it and so never hold the cloud's GPU copy and the build's memory at once.
    void SetOctreeBeforeUpload(bool before) { m_octreeBeforeUpload = before; }
    // Points a frame with the camera at rest may draw now (kEveryPoint: all).
    std::uint64_t StillBudget() const;

    // The budget as AppSettings::pointBudget holds it.
    void SetBudgetSetting(std::optional<std::int64_t> setting) { m_budgetSetting = setting; }
    std::optional<std::int64_t> BudgetSetting() const { return m_budgetSetting; }
    // GL_RENDERER of the view's context, which the automatic budget depends on.
    void SetGlRenderer(std::string glRenderer) { m_glRenderer = std::move(glRenderer); }

    // A wheel notch or fly key: a quarter of the budget until the camera rests again.
    void NoteCameraStep();
    // Hands the renderer of the cloud on screen the budget of the next frame; `dragging`
    // while a drag moves the camera.
    void ApplyBudget(PointCloudRenderer* points, StreamedPointRenderer* streamed, bool dragging) const;

    // Whether `points`, which draws the document's cloud, lacks the octree the budget needs.
    bool OctreeWanted(const Document& document, const PointCloudRenderer& points) const;
    // Builds the octree of the document's cloud in the background, unless a build is under
    // way or there is no pool; the cloud must stay as it is until StopBuild.
    void StartBuild(const Document& document);
    // Cancels the background build and waits for its worker to let go of the positions.
    void StopBuild();
    bool Building() const { return m_build != nullptr; }
    // The tree of a background build that has finished; nothing while it runs or without one.
    std::optional<PointOctree> TakeFinishedBuild();
    // Waits for the background build and hands over its tree: nothing when it was cancelled
    // or the tree could not be made (logged).
    std::optional<PointOctree> WaitForBuild();
    // Builds the octree of the document's cloud here and now, on the pool when there is one.
    std::optional<PointOctree> BuildNow(const Document& document) const;
    // With SetOctreeBeforeUpload, the octree of a new cloud that needs one, the document's
    // cloud already put into its order; otherwise nothing.
    std::optional<PointOctree> BuildBeforeUpload(Document& document) const;
    // Swaps a finished tree in: the document's cloud goes into its order and `points`
    // uploads it again, drawing through the tree. The context must be current. Returns
    // whether the cloud is drawable afterwards.
    bool AdoptOctree(PointOctree tree, Document& document, PointCloudRenderer& points) const;

    // True when the last frame drew another number of points than the point pane shows; the
    // pane is then expected to show the new number.
    bool DrawnCountChanged(std::uint64_t drawn);
    // A new scene: the pane shows no drawn count yet.
    void ForgetDrawnCount() { m_shownDrawnPoints = 0; }

private:
    bool CameraMoving(bool dragging) const;
    // Puts the document's cloud into the tree's order; the tree then keeps only its nodes.
    bool PutCloudInTreeOrder(Document& document, PointOctree& tree) const;

    ViewHost& m_host;
    ThreadPool* m_pool = nullptr;
    bool m_octreeBeforeUpload = false;
    std::optional<std::int64_t> m_budgetSetting;
    std::string m_glRenderer;
    std::unique_ptr<OctreeBuildJob> m_build;
    std::optional<std::chrono::steady_clock::time_point> m_lastCameraStep;
    std::uint64_t m_shownDrawnPoints = 0;
};
