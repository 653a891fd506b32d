#include "render/BudgetedPointDraw.h"

#include <algorithm>
#include <type_traits>

static_assert(std::is_same_v<GLint, std::int32_t> && std::is_same_v<GLsizei, std::int32_t>,
              "selections hand their ranges to glMultiDrawArrays as they are");

namespace {

// One buffer binding of the bound vertex array.
struct VertexBinding {
    GLuint index = 0;
    GLuint buffer = 0;
    GLint64 offset = 0;
    GLint stride = 0;
};

std::vector<VertexBinding> BoundVertexBindings()
{
    GLint bindingCount = 0;
    glGetIntegerv(GL_MAX_VERTEX_ATTRIB_BINDINGS, &bindingCount);
    std::vector<VertexBinding> bindings;
    for (GLuint index = 0; index < static_cast<GLuint>(bindingCount); ++index) {
        GLint buffer = 0;
        glGetIntegeri_v(GL_VERTEX_BINDING_BUFFER, index, &buffer);
        if (buffer == 0)
            continue;
        VertexBinding binding;
        binding.index = index;
        binding.buffer = static_cast<GLuint>(buffer);
        glGetInteger64i_v(GL_VERTEX_BINDING_OFFSET, index, &binding.offset);
        glGetIntegeri_v(GL_VERTEX_BINDING_STRIDE, index, &binding.stride);
        bindings.push_back(binding);
    }
    return bindings;
}

}  // namespace

std::uint64_t SubsetStep(std::uint64_t pointCount, std::uint64_t budget)
{
    if (budget == 0)
        return pointCount == 0 ? 1 : pointCount;
    return std::max<std::uint64_t>(1, pointCount / budget + (pointCount % budget != 0 ? 1 : 0));
}

std::uint64_t SubsetSize(std::uint64_t pointCount, std::uint64_t step)
{
    return step == 0 ? pointCount : pointCount / step + (pointCount % step != 0 ? 1 : 0);
}

void BudgetedPointDraw::Reset(std::uint32_t pointCount)
{
    m_pointCount = pointCount;
    m_tree.reset();
    m_last = {};
    m_singleFirsts.clear();
    m_singleCounts.clear();
}

void BudgetedPointDraw::Draw(GLuint vertexArray, const Eigen::Matrix4f& viewProjection)
{
    m_last = {};
    m_last.total = m_pointCount;
    if (m_pointCount == 0)
        return;
    if (m_pointCount <= m_budget) {
        glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(m_pointCount));
        m_last.drawn = m_pointCount;
        if (m_tree)
            m_last.nodesDrawn = m_last.nodesLoaded = m_tree->nodes.size();
        return;
    }
    if (!m_tree || m_tree->nodes.empty()) {
        DrawSubset(vertexArray, m_pointCount);
    } else if (m_tree->nodes.front().count > m_budget) {
        // Not even the root fits (a small budget while moving): the root is the coarsest even
        // subset of the cloud, so every k-th of its points is still spread evenly.
        DrawSubset(vertexArray, m_tree->nodes.front().count);
        m_last.nodesLoaded = m_tree->nodes.size();
    } else {
        DrawSelection(viewProjection);
    }
}

void BudgetedPointDraw::DrawSelection(const Eigen::Matrix4f& viewProjection)
{
    GLint viewport[4] = {0, 0, 1, 1};
    glGetIntegerv(GL_VIEWPORT, viewport);
    SelectionView view;
    view.viewProjection = viewProjection;
    view.viewportHeight = static_cast<float>(std::max(viewport[3], 1));
    const OctreeSelection selection = SelectOctreeNodes(*m_tree, view, m_budget);
    if (!selection.firsts.empty())
        glMultiDrawArrays(GL_POINTS, selection.firsts.data(), selection.counts.data(),
                          static_cast<GLsizei>(selection.firsts.size()));
    m_last.drawn = selection.drawnPoints;
    m_last.nodesDrawn = selection.nodesDrawn;
    m_last.nodesLoaded = m_tree->nodes.size();
}

void BudgetedPointDraw::DrawSubset(GLuint vertexArray, std::uint32_t pointCount)
{
    const std::uint64_t step = SubsetStep(pointCount, m_budget);
    const std::uint64_t size = SubsetSize(pointCount, step);
    if (size == 0)
        return;
    GLint maxStride = 0;
    glGetIntegerv(GL_MAX_VERTEX_ATTRIB_STRIDE, &maxStride);
    const std::vector<VertexBinding> bindings = BoundVertexBindings();
    const bool stridesFit = std::all_of(bindings.begin(), bindings.end(), [&](const VertexBinding& binding) {
        return static_cast<std::uint64_t>(binding.stride) * step <= static_cast<std::uint64_t>(maxStride);
    });

    if (stridesFit) {
        for (const VertexBinding& binding : bindings)
            glVertexArrayVertexBuffer(vertexArray, binding.index, binding.buffer, static_cast<GLintptr>(binding.offset),
                                      static_cast<GLsizei>(binding.stride * static_cast<GLint>(step)));
        glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(size));
        for (const VertexBinding& binding : bindings)
            glVertexArrayVertexBuffer(vertexArray, binding.index, binding.buffer, static_cast<GLintptr>(binding.offset),
                                      binding.stride);
    } else {
        // Steps too long for a vertex stride come with small budgets: one range a point.
        if (m_singleFirsts.size() != size || (size > 1 && std::uint64_t(m_singleFirsts[1]) != step)) {
            m_singleFirsts.resize(size);
            m_singleCounts.assign(size, 1);
            for (std::uint64_t i = 0; i < size; ++i)
                m_singleFirsts[i] = static_cast<GLint>(i * step);
        }
        glMultiDrawArrays(GL_POINTS, m_singleFirsts.data(), m_singleCounts.data(), static_cast<GLsizei>(size));
    }
    m_last.drawn = size;
}
