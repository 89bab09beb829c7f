#pragma once
// One level of the non-rigid registration as one sparse Levenberg-Marquardt fit: the node
// transforms are packed into the solver's flat parameter array (node i: 6i .. 6i+2 rotation
// parameters, 6i+3 .. 6i+5 translation), the solver's callbacks evaluate the stacked residuals
// and Jacobian of the three energy terms, the Jacobian callback publishes a preview through
// the progress updater, and an interruption ends the solve at the next residual evaluation.
#include "numerics/SparseSolver/splm.h"
#include "registration/RegistrationEnergy.h"

#include <QList>
#include <QObject>
#include <QVector3D>
#include <QVector>

namespace NonRigidRegistration {

class NonRigidRegistrationInteractiveUpdater;

// Which nodes a solve moves. A node on which no residual depends would give the solver an
// empty column; such nodes keep their start transforms and are left out of the parameters.
struct SolvedNodes {
    bool all = true;
    QVector<int> nodes;                       // the moved nodes, ascending
    QVector<int> columnOf;                    // per Jacobian column: the solver's column, -1 when held
    QVector<QVector<double>> startRotations;  // every node's start transform
    QVector<QVector<double>> startTranslations;
};

// Nodes with a Jacobian entry in some row: the influence nodes of the control and fit
// vertices and both nodes of every neighbours-table entry.
// influence (may be null or empty) is the influence table of weightsTable, read in its place.
SolvedNodes findSolvedNodes(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                            const QVector<QVector<double>>& weightsTable, const QVector<QList<int>>& neighboursTable,
                            const QVector<int>& srcFitIndices, const QVector<int>& srcControlIndices,
                            const QVector<VertexInfluence>* influence = nullptr);

struct SparseLMProblemSize {
    int nvars = 0;             // 6 per moved node
    int nobs = 0;              // control pairs + neighbours-table entries + fit vertices
    int jacobianCapacity = 0;  // entries the solver allocates for the Jacobian
};

// The capacity is room for ten influence nodes in every control and fit row and two nodes in
// every regularisation row, or the count the influence lists actually need if that is larger.
// influence as for findSolvedNodes.
SparseLMProblemSize sparseLMProblemSize(int solvedNodeCount, const QVector<QVector<double>>& weightsTable,
                                        const QVector<QList<int>>& neighboursTable, const QVector<int>& srcFitIndices,
                                        const QVector<int>& srcControlIndices,
                                        const QVector<VertexInfluence>* influence = nullptr);

// The solver's user data for one solve with per-node regularisation weights: the inputs,
// read by the callbacks as they are, and what changes during the solve.
class NonRigidRegistrationDataERegMultipliers : public QObject, public RegistrationInputs {
    Q_OBJECT
public:
    NonRigidRegistrationDataERegMultipliers() = default;

    double previousError = 1.0;                                 // |e|² at the previous Jacobian evaluation
    NonRigidRegistrationInteractiveUpdater* updater = nullptr;  // not owned; may be null
    JacobianTimings jacobianTimings;
    SolvedNodes solvedNodes;
};

// The same for one regularisation weight shared by every node (eRegWeight, perNode false);
// no Jacobian timing.
class NonRigidRegistrationData : public QObject, public RegistrationInputs {
    Q_OBJECT
public:
    NonRigidRegistrationData() { perNode = false; }

    double previousError = 1.0;
    NonRigidRegistrationInteractiveUpdater* updater = nullptr;
    SolvedNodes solvedNodes;
};

// Fits the level: rotations and translations are the start on entry and the solution on
// return (also after an interruption or a failed solve). Returns the solver's result: the
// iterations made, or -1. A null updater means no preview and no interruption. The inputs'
// perNode picks the solver data record and callbacks of the per-node or the single weight.
int nonRigidRegistrationSparseLM(QVector<QVector<double>>& rotations, QVector<QVector<double>>& translations,
                                 const RegistrationInputs& inputs, double maxIterations,
                                 NonRigidRegistrationInteractiveUpdater* updater);
// The same with the inputs spelled out.
inline int nonRigidRegistrationSparseLM(QVector<QVector<double>>& rotations, QVector<QVector<double>>& translations,
                                        const QVector<QVector3D>& nodes, const QVector<QVector<double>>& weightsTable,
                                        const QVector<QList<int>>& neighboursTable,
                                        const QVector<QVector3D>& srcVertices, const QVector<QVector3D>& srcNormals,
                                        const QVector<QVector3D>& dstVertices, const QVector<QVector3D>& dstNormals,
                                        const KDTree::NodeBase* dstKdTree, const QVector<bool>& dstMask,
                                        const QVector<int>& srcFitIndices, const QVector<int>& srcControlIndices,
                                        const QVector<QVector3D>& dstControlVertices, double eConWeight,
                                        const QVector<double>& eRegMultipliers, double eIcpWeight,
                                        double alphaPointToPoint, double alphaPointToPlane, double maxIterations,
                                        NonRigidRegistrationInteractiveUpdater* updater)
{
    return nonRigidRegistrationSparseLM(
        rotations, translations,
        {{nodes, weightsTable, srcVertices, srcNormals, srcFitIndices, dstVertices, dstNormals, dstKdTree, dstMask,
          alphaPointToPoint, alphaPointToPlane, eIcpWeight},
         {srcControlIndices, dstControlVertices, eConWeight},
         {neighboursTable, eRegMultipliers, 0.0, true}},
        maxIterations, updater);
}
// With one regularisation weight for every node. Its residuals ignore the interruption flag.
inline int nonRigidRegistrationSparseLM(QVector<QVector<double>>& rotations, QVector<QVector<double>>& translations,
                                        const QVector<QVector3D>& nodes, const QVector<QVector<double>>& weightsTable,
                                        const QVector<QList<int>>& neighboursTable,
                                        const QVector<QVector3D>& srcVertices, const QVector<QVector3D>& srcNormals,
                                        const QVector<QVector3D>& dstVertices, const QVector<QVector3D>& dstNormals,
                                        KDTree::NodeBase* dstKdTree, const QVector<bool>& dstMask,
                                        const QVector<int>& srcFitIndices, const QVector<int>& srcControlIndices,
                                        const QVector<QVector3D>& dstControlVertices, double eConWeight,
                                        double eRegWeight, double eIcpWeight, double alphaPointToPoint,
                                        double alphaPointToPlane, double maxIterations,
                                        NonRigidRegistrationInteractiveUpdater* updater)
{
    return nonRigidRegistrationSparseLM(
        rotations, translations,
        {{nodes, weightsTable, srcVertices, srcNormals, srcFitIndices, dstVertices, dstNormals, dstKdTree, dstMask,
          alphaPointToPoint, alphaPointToPlane, eIcpWeight},
         {srcControlIndices, dstControlVertices, eConWeight},
         {neighboursTable, {}, eRegWeight, false}},
        maxIterations, updater);
}

// Solver callbacks; adata is the data record of the matching kind.
void nonRigidRegistrationErrorMetricSparseLMeRegMultipliers(double* p, double* hx, int m, int n, void* adata);
void nonRigidRegistrationJacSparseLMeRegMultipliers(double* p, splm_crsm* jac, int m, int n, void* adata);
void nonRigidRegistrationErrorMetricSparseLM(double* p, double* hx, int m, int n, void* adata);
void nonRigidRegistrationJacSparseLM(double* p, splm_crsm* jac, int m, int n, void* adata);

// A new double[n] (owned by the caller) with every element = value.
double* initializeArray(int n, const double& value);
// Sets the n elements of an existing array.
void initializeArray(double* array, int n, const double& value);
// A new double[6 × nodes] in the flat layout, owned by the caller.
double* paramsToFlatArray(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations);
// Both outputs become nvars / 6 entries of three values read from p.
void parseFlatParamsVector(const double* p, int nvars, QVector<QVector<double>>& rotations,
                           QVector<QVector<double>>& translations);
double squaredNorm(const QVector<double>& values);

}  // namespace NonRigidRegistration
