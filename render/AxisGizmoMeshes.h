#pragma once

#include <Eigen/Core>

#include <cstddef>
#include <vector>

// The axis gizmo's geometry: three axis lines with cone arrow heads and the letters X, Y and
// Z, in a unit-sized model space centred on the origin. Building it needs no GL.

// Vertex of the lines and cones: position (attribute 0) then colour (attribute 1).
struct GizmoLineVertex {
    Eigen::Vector3f position;
    Eigen::Vector3f color;
};

// Vertex of the letter strokes: every vertex of a letter shares its anchor in model space
// (attribute 0); the offset (attribute 1) is added after projection in normalised device
// units, so the letters stay upright and the same size on screen; colour is attribute 2.
struct GizmoLabelVertex {
    Eigen::Vector3f anchor;
    Eigen::Vector2f offset;
    Eigen::Vector3f color;
};

static_assert(sizeof(GizmoLineVertex) == 24 && offsetof(GizmoLineVertex, color) == 12,
              "line vertices are uploaded as they are");
static_assert(sizeof(GizmoLabelVertex) == 32 && offsetof(GizmoLabelVertex, offset) == 12 &&
                  offsetof(GizmoLabelVertex, color) == 20,
              "label vertices are uploaded as they are");

// Colour of axis 0 (X), 1 (Y) or 2 (Z).
Eigen::Vector3f GizmoAxisColor(int axis);

// Appends a cone of 16 sides: for each side the triangle to the tip in `color`, then the
// triangle of the base cap in a darker shade (96 vertices in all).
void AddCone(std::vector<GizmoLineVertex>& mesh, const Eigen::Vector3f& tip, const Eigen::Vector3f& base,
             float radius, const Eigen::Vector3f& color);

// Line pairs from the origin to 0.78 along each axis (6 vertices).
std::vector<GizmoLineVertex> BuildGizmoAxisLines();
// Triangles of the three arrow heads, X, Y then Z (288 vertices).
std::vector<GizmoLineVertex> BuildGizmoCones();
// Line pairs of the letters X, Y and Z, anchored 1.3 along their axes (16 vertices).
std::vector<GizmoLabelVertex> BuildGizmoLetters();

// Model-view-projection of the gizmo: the view's rotation alone (its translation dropped),
// pushed 3 units away and projected orthographically onto a square 3.4 units wide.
Eigen::Matrix4f GizmoTransform(const Eigen::Matrix4f& view);
