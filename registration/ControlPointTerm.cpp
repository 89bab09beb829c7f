#include "registration/ControlPointTerm.h"

#include "registration/DifferentiableParameters.h"
#include "registration/SubsetDeformation.h"

namespace NonRigidRegistration {

QVector<double> eCon(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                     const QVector<QVector3D>& srcVertices, const QVector<int>& srcControlIndices,
                     const QVector<QVector3D>& dstControlVertices, const QVector<QVector3D>& nodes,
                     const QVector<QVector<double>>& weightsTable, double eConWeight)
{
    QVector<double> residuals(srcControlIndices.size());
    for (int i = 0; i < srcControlIndices.size(); ++i) {
        const int v = srcControlIndices[i];
        const QList<int> influence = getNonZeroElementIndices(weightsTable[v]);
        const Vec<double> c =
            deformVertexSubset(subset(rotations, influence), subset(translations, influence), srcVertices[v],
                               subset(nodes, influence), subset(weightsTable[v], influence));
        residuals[i] = (c - Vec<double>(dstControlVertices[i])).norm() * eConWeight;
    }
    return residuals;
}

QVector<DerVal> eConDer(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                        const QVector<QVector3D>& srcVertices, const QVector<int>& srcControlIndices,
                        const QVector<QVector3D>& dstControlVertices, const QVector<QVector3D>& nodes,
                        const QVector<QVector<double>>& weightsTable, double eConWeight,
                        QVector<QList<int>>& influenceNodeIndexTable)
{
    influenceNodeIndexTable.resize(srcControlIndices.size());
    QVector<DerVal> residuals(srcControlIndices.size());
    QVector<QVector<DerVal>> rsDer, tsDer;
    for (int i = 0; i < srcControlIndices.size(); ++i) {
        const int v = srcControlIndices[i];
        const QList<int> influence = getNonZeroElementIndices(weightsTable[v]);
        influenceNodeIndexTable[i] = influence;
        makeParamsDifferentiable(subset(rotations, influence), subset(translations, influence), rsDer, tsDer);
        const Vec<DerVal> c = deformVertexSubset(rsDer, tsDer, srcVertices[v], subset(nodes, influence),
                                                 subset(weightsTable[v], influence));
        residuals[i] = (c - Vec<DerVal>(dstControlVertices[i])).norm() * DerVal(eConWeight);
    }
    return residuals;
}

QVector<double> eConJac(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                        const QVector<QVector3D>& srcVertices, const QVector<int>& srcControlIndices,
                        const QVector<QVector3D>& dstControlVertices, const QVector<QVector3D>& nodes,
                        const QVector<QVector<double>>& weightsTable, double eConWeight,
                        SparseMatrix::SparseMatrixLIL& jacobian)
{
    QVector<QList<int>> table;
    const QVector<DerVal> residuals = eConDer(rotations, translations, srcVertices, srcControlIndices,
                                              dstControlVertices, nodes, weightsTable, eConWeight, table);
    jacobian = fillJacobian(residuals, table, rotations.size());
    return undifContainer(residuals);
}

}  // namespace NonRigidRegistration
