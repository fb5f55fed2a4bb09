#include "desktop/CNetSet.h"

CNetSet::CNetSet(QWidget* parent) : DialogView(parent, kNetworkDialogLayout) {
    Build(m_model);
}
