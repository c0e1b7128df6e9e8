# Namespace and cluster information: list a directory, copy a file on the cluster, show versions.
ctl ls /ifs/data
ctl copy "/ifs/data/projects/plan.txt" "/ifs/data/projects/plan (copy).txt"
ctl stat "/ifs/data/projects/plan (copy).txt"
ctl cluster version
